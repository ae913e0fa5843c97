#pragma once
// Copy and Move: a battle file of the game folder goes to a folder the player picks, under its
// own name. Neither outcome is reported; a failed copy or move leaves things as they were.
#include "app/ConfigStore.h"
#include "base/Desktop.h"

#include <string>

namespace ops {

// Replaces a file of the same name in the chosen folder without a question. Returns false when
// the player cancelled the folder choice.
bool CopyBattle(const app::ConfigState& config, const std::string& battleName, base::Desktop& desktop);

// Never replaces a file of the same name there: the battle then stays where it was. The battle's
// note stays under its name. Returns false when the player cancelled the folder choice; the
// caller rebuilds its list either way.
bool MoveBattle(const app::ConfigState& config, const std::string& battleName, base::Desktop& desktop);

}  // namespace ops
