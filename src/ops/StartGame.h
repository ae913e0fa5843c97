#pragma once
// Run Game: the current game's program, started from its game folder.
#include "app/ConfigStore.h"
#include "base/Desktop.h"

#include <functional>
#include <string>

namespace ops {

// Answers whether the player wants the standard first game rather than its modification.
using StandardChoice = std::function<bool()>;

// The program of the current game: its record's game folder followed by "\iron plain.exe",
// "\grey coast.exe" or "\jade tide.exe". For the first game, when "\iron plain#.exe" is there
// too, chooseStandard is asked, and a no picks the modification.
std::string GameProgram(app::ConfigState& config, const StandardChoice& chooseStandard);

// Starts that program with the process-wide game folder as working folder. A program that is not
// there, or a start that fails (no wine), is reported; the game itself is not awaited. True when
// it started.
bool StartGame(app::ConfigState& config, const StandardChoice& chooseStandard, base::Desktop& desktop);

}  // namespace ops
