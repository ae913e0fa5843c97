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
    config.Profile(1).SetGameDir(tmp / "grey");
    TempDir::Write(tmp / "grey/grey coast.exe", "");
    config.Profile(2).SetGameDir("c:\\");  // a drive root: the separator doubles
    TempDir::Write(tmp / "wine/drive_c/jade tide.exe", "");
    // The working folder is the process-wide game folder, whatever the record says.
    config.GameDir = "D:\\Current";

    config.CurrentGame = 1;
    EXPECT_TRUE(ops::StartGame(config, Answer(true), desktop));
    EXPECT_EQ(Started().text, (tmp / "grey") + "\\grey coast.exe");
    EXPECT_EQ(Started().caption, "D:\\Current");

    config.CurrentGame = 2;
    EXPECT_TRUE(ops::StartGame(config, Answer(true), desktop));
    EXPECT_EQ(Started().text, "c:\\\\jade tide.exe");
    EXPECT_EQ(asked, 0);
    EXPECT_TRUE(desktop.Of(Shown::Error).empty());
}

TEST_F(StartGameTest, AProgramThatIsNotThereOrDoesNotStartIsReported)
{
    config.CurrentGame = 0;
    EXPECT_FALSE(ops::StartGame(config, Answer(true), desktop));
    EXPECT_TRUE(desktop.Of(Shown::Start).empty());
    ASSERT_EQ(desktop.Of(Shown::Error).size(), 1u);
    EXPECT_EQ(desktop.Of(Shown::Error)[0].text, "The game could not be started: " + (tmp / "game/iron plain.exe") +
                                                    " was not found. Check the game directory in Options");

    // The desktop's own reason (no wine, say) reaches the player as it stands.
    TempDir::Write(tmp / "game/iron plain.exe", "");
    desktop.startError = "Wine is not installed";
    EXPECT_FALSE(ops::StartGame(config, Answer(true), desktop));
    ASSERT_EQ(desktop.Of(Shown::Error).size(), 2u);
    EXPECT_EQ(desktop.Of(Shown::Error)[1].text, "Wine is not installed");
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
