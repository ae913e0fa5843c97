// Run Game: which program starts, from which folder, and when the first game's modification is
// offered.
#include "TurnFolders.h"
#include "ops/StartGame.h"

#include <gtest/gtest.h>

namespace {

class StartGameTest : public TurnFolders {
protected:
    // Records whether the player was asked, and answers as told.
    ops::StandardChoice Answer(bool standard)
    {
        return [this, standard] {
            ++asked;
            return standard;
        };
    }
    Shown Started() const
    {
        const auto starts = desktop.Of(Shown::Start);
        return starts.empty() ? Shown {} : starts.back();
    }
    int asked = 0;
};

}  // namespace

TEST_F(StartGameTest, EachGameStartsItsProgramFromItsRecordsFolder)
{
    config.Profile(1).SetGameDir("D:\\Games\\Grey Coast");
    config.Profile(2).SetGameDir("c:\\");  // a drive root: the separator doubles
    // The working folder is the process-wide game folder, whatever the record says.
    config.GameDir = "D:\\Current";

    config.CurrentGame = 1;
    ops::StartGame(config, Answer(true), desktop);
    EXPECT_EQ(Started().text, "D:\\Games\\Grey Coast\\grey coast.exe");
    EXPECT_EQ(Started().caption, "D:\\Current");

    config.CurrentGame = 2;
    ops::StartGame(config, Answer(true), desktop);
    EXPECT_EQ(Started().text, "c:\\\\jade tide.exe");
    EXPECT_EQ(asked, 0);
}

TEST_F(StartGameTest, TheFirstGameOffersItsModificationOnlyWhenItIsThere)
{
    const std::string dir = tmp / "game";
    TempDir::Write(tmp / "game/iron plain.exe", "");
    ops::StartGame(config, Answer(false), desktop);
    EXPECT_EQ(Started().text, dir + "\\iron plain.exe");
    EXPECT_EQ(Started().caption, dir);
    EXPECT_EQ(asked, 0);

    TempDir::Write(tmp / "game/iron plain#.exe", "");
    EXPECT_EQ(ops::GameProgram(config, Answer(true)), dir + "\\iron plain.exe");
    EXPECT_EQ(ops::GameProgram(config, Answer(false)), dir + "\\iron plain#.exe");
    EXPECT_EQ(asked, 2);
}
