// Move: a battle to a folder of the player's choice, never over a file of its name there.
#include "TurnFolders.h"
#include "app/CommentStore.h"
#include "ops/BattleTransfer.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace fs = std::filesystem;

namespace {

class MoveBattleTest : public TurnFolders {
protected:
    MoveBattleTest()
    {
        AddBattle("a.bte", "Alpha");
        AddBattle("b.bte", "Bravo");
        fs::create_directories(tmp / "dest");
    }
};

}  // namespace

TEST_F(MoveBattleTest, MovesUnderTheSameNameButNeverOverAFile)
{
    TempDir::Write(tmp / "dest/a.bte", "theirs");
    desktop.folderAnswers = {tmp / "dest", tmp / "dest"};
    EXPECT_TRUE(ops::MoveBattle(config, "a.bte", desktop));
    EXPECT_EQ(desktop.shown.back().text, "MOVE - Select destination: ");
    EXPECT_EQ(TempDir::Read(tmp / "dest/a.bte"), "theirs");
    EXPECT_TRUE(fs::exists(tmp / "game/a.bte"));

    const std::string bravo = TempDir::Read(tmp / "game/b.bte");
    EXPECT_TRUE(ops::MoveBattle(config, "b.bte", desktop));
    EXPECT_FALSE(fs::exists(tmp / "game/b.bte"));
    EXPECT_EQ(TempDir::Read(tmp / "dest/b.bte"), bravo);
    // Only the two folder browsers: neither outcome is reported.
    EXPECT_EQ(desktop.shown.size(), 2u);
}

TEST_F(MoveBattleTest, CancelMovesNothing)
{
    EXPECT_FALSE(ops::MoveBattle(config, "a.bte", desktop));
    EXPECT_TRUE(fs::exists(tmp / "game/a.bte"));
    EXPECT_TRUE(fs::is_empty(tmp / "dest"));
}

TEST_F(MoveBattleTest, TheNoteStaysUnderTheBattlesName)
{
    app::SaveComment("b.bte", "bravo note");
    desktop.folderAnswers = {tmp / "dest"};
    ops::MoveBattle(config, "b.bte", desktop);
    ASSERT_TRUE(fs::exists(tmp / "dest/b.bte"));
    // A battle of that name that comes back shows it again.
    EXPECT_EQ(app::FindComment("b.bte"), "bravo note");
}
