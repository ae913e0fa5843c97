// Delete: the selected file of any tab after a Yes/No question; a battle takes its note along.
#include "TurnFolders.h"
#include "app/CommentStore.h"
#include "ops/DeleteEntry.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace fs = std::filesystem;

namespace {

class DeleteEntryTest : public TurnFolders {
protected:
    DeleteEntryTest()
    {
        AddBattle("a.bte", "Alpha");
        AddBattle("b.bte", "Bravo");
    }
    bool Delete(ops::Tab tab, const std::string& name, int answer)
    {
        desktop.boxAnswers = {answer};
        return ops::DeleteEntry(config, tab, name, desktop);
    }
};

}  // namespace

TEST_F(DeleteEntryTest, AsksByFileNameAndNoDeletesNothing)
{
    app::SaveComment("b.bte", "bravo note");
    EXPECT_FALSE(Delete(ops::Tab::Battles, "b.bte", base::IDNO));
    ASSERT_EQ(desktop.shown.size(), 1u);
    EXPECT_EQ(desktop.shown[0].kind, Shown::Box);
    EXPECT_EQ(desktop.shown[0].text, "You want delete file b.bte! Are you sure?");
    EXPECT_EQ(desktop.shown[0].caption, "Delete file");
    EXPECT_EQ(desktop.shown[0].flags, base::MB_YESNO);
    EXPECT_TRUE(fs::exists(tmp / "game/b.bte"));
    EXPECT_EQ(app::FindComment("b.bte"), "bravo note");
}

TEST_F(DeleteEntryTest, YesDeletesTheBattleAndOnlyItsNote)
{
    app::SaveComment("a.bte", "alpha note");
    app::SaveComment("b.bte", "bravo note");
    EXPECT_TRUE(Delete(ops::Tab::Battles, "a.bte", base::IDYES));
    EXPECT_FALSE(fs::exists(tmp / "game/a.bte"));
    EXPECT_TRUE(fs::exists(tmp / "game/b.bte"));
    EXPECT_FALSE(app::FindComment("a.bte").has_value());
    EXPECT_EQ(app::FindComment("b.bte"), "bravo note");
    EXPECT_EQ(desktop.shown.size(), 1u);  // nothing said afterwards
}

TEST_F(DeleteEntryTest, WithoutACommentStoreTheBattleGoesSilently)
{
    ASSERT_FALSE(fs::exists(tmp / "prog/user.dat"));
    EXPECT_TRUE(Delete(ops::Tab::Battles, "a.bte", base::IDYES));
    EXPECT_FALSE(fs::exists(tmp / "game/a.bte"));
    EXPECT_TRUE(desktop.Errors().empty());
    EXPECT_FALSE(fs::exists(tmp / "prog/user.dat"));
}

TEST_F(DeleteEntryTest, ArchivesGoFromTheirTabsFolderAndLeaveTheNotesAlone)
{
    app::SaveComment("o.zip", "same name as the archive");
    const std::string notes = TempDir::Read(tmp / "prog/user.dat");
    for (const char* file : {"out/o.zip", "in/o.zip", "game/o.zip"})
        TempDir::Write(tmp / file, "z");

    EXPECT_TRUE(Delete(ops::Tab::Outgoing, "o.zip", base::IDYES));
    EXPECT_FALSE(fs::exists(tmp / "out/o.zip"));
    EXPECT_TRUE(fs::exists(tmp / "in/o.zip"));

    // An incoming folder stored with its trailing backslash gives a doubled separator.
    config.Current().SetIncomingDir((tmp / "in") + "\\");
    EXPECT_TRUE(Delete(ops::Tab::Incoming, "o.zip", base::IDYES));
    EXPECT_FALSE(fs::exists(tmp / "in/o.zip"));
    EXPECT_TRUE(fs::exists(tmp / "game/o.zip"));
    EXPECT_EQ(TempDir::Read(tmp / "prog/user.dat"), notes);
}
