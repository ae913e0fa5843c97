// Copy: a battle to a folder of the player's choice, replacing a file of its name there.
#include "TurnFolders.h"
#include "ops/BattleTransfer.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

class CopyBattleTest : public TurnFolders {
protected:
    CopyBattleTest()
    {
        AddBattle("b.bte", "Bravo");
        fs::create_directories(tmp / "dest");
    }
};

}  // namespace

TEST_F(CopyBattleTest, CopiesUnderTheSameNameOverAFileThere)
{
    TempDir::Write(tmp / "dest/b.bte", "old copy");
    desktop.folderAnswers = {tmp / "dest"};
    EXPECT_TRUE(ops::CopyBattle(config, "b.bte", desktop));
    ASSERT_EQ(desktop.shown.size(), 1u);  // the folder browser, and nothing said afterwards
    EXPECT_EQ(desktop.shown[0].kind, Shown::Folder);
    EXPECT_EQ(desktop.shown[0].text, "COPY - Select destination: ");
    EXPECT_EQ(TempDir::Read(tmp / "dest/b.bte"), TempDir::Read(tmp / "game/b.bte"));
    EXPECT_TRUE(fs::exists(tmp / "game/b.bte"));
}

TEST_F(CopyBattleTest, CancelCopiesNothingAnywhere)
{
    // A name no other test uses: a copy that ignored the cancel would land at the root as "\name".
    const std::string name = "cancelled-copy-" + std::to_string(getpid()) + ".bte";
    TempDir::Write(tmp / ("game/" + name), "battle");
    desktop.folderAnswers = {tmp / "dest", std::nullopt};
    ASSERT_TRUE(ops::CopyBattle(config, name, desktop));
    TempDir::Write(tmp / ("dest/" + name), "changed since");

    EXPECT_FALSE(ops::CopyBattle(config, name, desktop));
    EXPECT_EQ(desktop.shown.size(), 2u);
    EXPECT_EQ(TempDir::Read(tmp / ("dest/" + name)), "changed since");  // not the last folder again
    std::error_code ignored;
    EXPECT_FALSE(fs::remove("/" + name, ignored));  // and gone again if it was there
}

TEST_F(CopyBattleTest, AFailedCopyIsNotReported)
{
    desktop.folderAnswers = {tmp / "not-there"};
    EXPECT_TRUE(ops::CopyBattle(config, "b.bte", desktop));
    EXPECT_EQ(desktop.shown.size(), 1u);
    EXPECT_FALSE(fs::exists(tmp / "not-there"));
}
