// The battle list's own snapshot, taken as the fill reads each battle, must be the snapshot the
// folder watcher takes later of an unchanged folder: otherwise every change would refill the list
// for names that did not change, or miss the ones that did.
#include "app/Catalogue.h"
#include "ops/FolderSnapshot.h"
#include "support/ConfigFile.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace fs = std::filesystem;

TEST(FolderSnapshot, TheFillsSnapshotIsTheWatchersOfTheSameFolder)
{
    TempDir game;
    TempDir::Write(game / "b.bte", BattleText("1 0", "Bravo", "3 60", "fog 3"));
    TempDir::Write(game / "a.bte", BattleText("1 0", "Alpha", "3 60", "fog 3"));
    TempDir::Write(game / "notes.txt", "not a battle");
    fs::create_symlink(game / "a.bte", game / "link.bte");

    std::vector<std::string> names, titles;
    std::vector<std::optional<struct stat>> statuses;
    app::CollectBattles(game.path(), names, titles, statuses);
    ASSERT_EQ(names.size(), statuses.size());
    const ops::FolderSnapshot listed = ops::SnapshotOf(names, statuses);
    const ops::FolderSnapshot later = ops::TakeSnapshot(game.path(), ops::BattlePatterns());
    EXPECT_EQ(listed, later);
    EXPECT_TRUE(listed.contains("a.bte") && listed.contains("link.bte"));
    EXPECT_FALSE(listed.contains("notes.txt"));
    EXPECT_TRUE(ops::ChangedNames(listed, later).empty());

    // A battle rewritten after the fill is the one change.
    TempDir::Write(game / "b.bte", BattleText("2 1", "Bravo", "4 60", "fog 3"));
    EXPECT_EQ(ops::ChangedNames(listed, ops::TakeSnapshot(game.path(), ops::BattlePatterns())),
              std::vector<std::string> {"b.bte"});
}
