#pragma once
// One game's folders for an operation: the program folder (turnex.dat, user.dat), the game folder
// and the outgoing and incoming folders in a temporary folder; the configuration as the program
// holds it after start-up; the scripted desktop answering every question.
#include "base/ProgramDir.h"
#include "support/ConfigFile.h"
#include "support/ScriptedDesktop.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

class TurnFolders : public ::testing::Test {
protected:
    TurnFolders()
    {
        for (const char* folder : {"prog", "game", "out", "in"})
            std::filesystem::create_directories(tmp / folder);
        base::SetProgramDirectory(tmp / "prog");
        config = MakeConfig(tmp / "game", tmp / "out", tmp / "in");
    }

    // A battle file in the game folder whose title (line 6) is given.
    void AddBattle(const std::string& name, const std::string& title)
    {
        TempDir::Write(tmp / ("game/" + name), BattleText("1 0", title, "0 6", "1"));
    }

    TempDir tmp;
    ScopedWinePrefix prefix {tmp / "wine"};
    ScriptedDesktop desktop;
    app::ConfigState config;
};
