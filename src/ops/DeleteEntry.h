#pragma once
// Delete: the selected file of any tab, after a Yes/No question.
#include "base/Desktop.h"
#include "ops/Tab.h"

#include <string>

namespace ops {

// Asks "You want delete file <name>! Are you sure?" under "Delete file" and on Yes deletes the
// file from the tab's folder (the game folder for "Battles"). A battle file that is really gone
// takes its note in user.dat along; archives leave the notes alone. A failed delete is not
// reported. Returns whether the player said Yes; the caller rebuilds its list either way.
bool DeleteEntry(app::ConfigState& config, Tab tab, const std::string& name, base::Desktop& desktop);

}  // namespace ops
