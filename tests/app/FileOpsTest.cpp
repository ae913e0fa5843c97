#include "app/CommentStore.h"
#include "ui/MainWindow.h"
#include "base/ProgramDir.h"
#include "support/ConfigFile.h"
#include "support/ScriptedDesktop.h"
#include "support/TempDir.h"
#include "ui/FlatButton.h"
#include "ui/ListBox.h"
#include "ui/TabStrip.h"

#include <QLineEdit>
#include <QTest>
#include <gtest/gtest.h>

#include <filesystem>

namespace fs = std::filesystem;

namespace {

class FileOpsTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        base::SetProgramDirectory(tmp / "prog");
        WriteConfig(tmp / "prog", tmp / "game", tmp / "out", tmp / "in");
        TempDir::Write(tmp / "game/a.bte", BattleText("1 0", "Alpha", "0 6", "1"));
        TempDir::Write(tmp / "game/b.bte", BattleText("1 0", "Bravo", "0 6", "1"));
        fs::create_directories(tmp / "dest");
        form = std::make_unique<MainWindow>();
        form->show();
    }
    void Click(FlatButton* b) { QTest::mouseClick(b, Qt::LeftButton, {}, QPoint(5, 5)); }
    void Select(int row)
    {
        QTest::mouseClick(form->ListBox1->viewport(), Qt::LeftButton, {},
                          form->ListBox1->visualItemRect(form->ListBox1->item(row)).center());
    }
    QStringList Entries()
    {
        QStringList out;
        for (int i = 0; i < form->ListBox1->count(); ++i)
            out << form->ListBox1->item(i)->text();
        return out;
    }
    TempDir tmp;
    ScopedWinePrefix prefix {tmp / "wine"};
    ScriptedDesktop desktop;
    std::unique_ptr<MainWindow> form;
};

}  // namespace

TEST_F(FileOpsTest, NothingSelected)
{
    form->ListBox1->SelectSilently(-1);
    Click(form->FlatButton5);
    Click(form->FlatButton6);
    Click(form->FlatButton7);
    ASSERT_EQ(desktop.shown.size(), 3u);
    EXPECT_EQ(desktop.shown[0].kind, Shown::Message);
    EXPECT_EQ(desktop.shown[0].text, "Select a game!");
    EXPECT_EQ(desktop.shown[1].text, "Select a game!");
    EXPECT_EQ(desktop.shown[2].text, "Select a file!");
}

TEST_F(FileOpsTest, CopyOverwritesAndCancelChangesNothing)
{
    TempDir::Write(tmp / "dest/b.bte", "old copy");
    Select(1);
    desktop.folderAnswers = {tmp / "dest", std::nullopt};
    Click(form->FlatButton5);
    EXPECT_EQ(desktop.shown.back().text, "COPY - Select destination: ");
    EXPECT_EQ(TempDir::Read(tmp / "dest/b.bte"), TempDir::Read(tmp / "game/b.bte"));
    EXPECT_EQ(form->Edit1->text(), QStringLiteral("b.bte"));  // nothing refreshed
    Click(form->FlatButton5);
    EXPECT_EQ(form->ListBox1->currentRow(), 1);
    EXPECT_EQ(form->Edit1->text(), QStringLiteral("b.bte"));
}

TEST_F(FileOpsTest, MoveNeverOverwritesAndAlwaysRebuilds)
{
    TempDir::Write(tmp / "dest/a.bte", "theirs");
    Select(0);
    desktop.folderAnswers = {tmp / "dest"};
    Click(form->FlatButton6);
    EXPECT_EQ(desktop.shown.back().text, "MOVE - Select destination: ");
    EXPECT_EQ(TempDir::Read(tmp / "dest/a.bte"), "theirs");
    EXPECT_TRUE(fs::exists(tmp / "game/a.bte"));
    EXPECT_EQ(Entries(), (QStringList {"Alpha", "Bravo"}));
    EXPECT_TRUE(form->Edit1->text().isEmpty());

    Select(1);
    desktop.folderAnswers = {tmp / "dest"};
    Click(form->FlatButton6);
    EXPECT_FALSE(fs::exists(tmp / "game/b.bte"));
    EXPECT_TRUE(fs::exists(tmp / "dest/b.bte"));
    EXPECT_EQ(Entries(), (QStringList {"Alpha"}));

    Select(0);
    Click(form->FlatButton6);  // cancelled: still rebuilt and cleared
    EXPECT_EQ(form->ListBox1->currentRow(), 0);
    EXPECT_TRUE(form->Edit1->text().isEmpty());
}

TEST_F(FileOpsTest, DeleteAsksByFileNameAndNoStillRebuilds)
{
    Select(1);
    desktop.boxAnswers = {base::IDNO};
    Click(form->FlatButton7);
    ASSERT_EQ(desktop.shown.back().kind, Shown::Box);
    EXPECT_EQ(desktop.shown.back().text, "You want delete file b.bte! Are you sure?");
    EXPECT_EQ(desktop.shown.back().caption, "Delete file");
    EXPECT_EQ(desktop.shown.back().flags, base::MB_YESNO);
    EXPECT_TRUE(fs::exists(tmp / "game/b.bte"));
    EXPECT_EQ(form->ListBox1->currentRow(), 0);
    EXPECT_TRUE(form->Edit1->text().isEmpty());
}

TEST_F(FileOpsTest, DeleteAfterRefreshTakesTheFirstEntryAndItsNote)
{
    app::SaveComment("a.bte", "alpha note");
    app::SaveComment("b.bte", "bravo note");
    Click(form->FlatButton3);  // Refresh: first entry selected, no details
    desktop.boxAnswers = {base::IDYES};
    Click(form->FlatButton7);
    EXPECT_FALSE(fs::exists(tmp / "game/a.bte"));
    EXPECT_FALSE(app::FindComment("a.bte").has_value());
    EXPECT_EQ(app::FindComment("b.bte").value(), "bravo note");
    EXPECT_EQ(Entries(), (QStringList {"Bravo"}));
}

TEST_F(FileOpsTest, DeleteWithoutACommentStoreCompletesSilently)
{
    ASSERT_FALSE(fs::exists(tmp / "prog/user.dat"));
    desktop.boxAnswers = {base::IDYES};
    Click(form->FlatButton7);
    EXPECT_TRUE(desktop.Errors().empty());
    EXPECT_FALSE(fs::exists(tmp / "game/a.bte"));
    EXPECT_EQ(Entries(), (QStringList {"Bravo"}));
}

TEST_F(FileOpsTest, DeletingAnArchiveLeavesTheNotesAlone)
{
    app::SaveComment("o.zip", "same name as the archive");
    const std::string before = TempDir::Read(tmp / "prog/user.dat");
    TempDir::Write(tmp / "out/o.zip", "z");
    TempDir::Write(tmp / "out/p.zip", "z");
    form->TabSet1->ClickTab(1);
    Select(0);
    const QString name = form->ListBox1->item(0)->text();
    const QString date = form->Edit1->text();
    desktop.boxAnswers = {base::IDYES};
    Click(form->FlatButton7);
    EXPECT_FALSE(fs::exists(tmp / ("out/" + name.toStdString())));
    EXPECT_EQ(form->ListBox1->count(), 1);
    EXPECT_EQ(TempDir::Read(tmp / "prog/user.dat"), before);
    EXPECT_EQ(form->Edit1->text(), date);  // the panel keeps what it showed
}
