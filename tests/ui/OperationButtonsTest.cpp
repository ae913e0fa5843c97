// The operation buttons of the main window: each click takes the selected entry to its operation
// and refreshes what the operation says is to be refreshed. The operations themselves are tested
// in tests/ops.
#include "app/CommentStore.h"
#include "base/ProgramDir.h"
#include "mail/FakePrograms.h"
#include "support/ConfigFile.h"
#include "support/ScriptedDesktop.h"
#include "support/TempDir.h"
#include "ui/FlatButton.h"
#include "ui/ListBox.h"
#include "ui/MainWindow.h"
#include "ui/NotesEdit.h"
#include "ui/TabStrip.h"

#include <QApplication>
#include <QLineEdit>
#include <QTest>
#include <gtest/gtest.h>

#include <filesystem>

namespace fs = std::filesystem;

namespace {

class OperationButtonsTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        base::SetProgramDirectory(tmp / "prog");
        WriteConfig(tmp / "prog", tmp / "game", tmp / "out", tmp / "in");
        TempDir::Write(tmp / "game/a.bte", BattleText("1 0", "Alpha", "0 6", "1"));
        TempDir::Write(tmp / "game/b.bte", BattleText("1 0", "Bravo", "0 6", "1"));
        fs::create_directories(tmp / "out");
        fs::create_directories(tmp / "in");
        fs::create_directories(tmp / "dest");
        window = std::make_unique<MainWindow>();
        // The zip libraries are found through the component's library folder.
        window->zipComponent.SetDLLDirectory(TURNEX_BIN_DIR);
        window->show();
    }
    void Click(FlatButton* button) { QTest::mouseClick(button, Qt::LeftButton, {}, QPoint(5, 5)); }
    void ClickRow(int row)
    {
        QTest::mouseClick(window->catalogueList->viewport(), Qt::LeftButton, {},
                          window->catalogueList->visualItemRect(window->catalogueList->item(row)).center());
    }
    QStringList Entries() const
    {
        QStringList out;
        for (int row = 0; row < window->catalogueList->count(); ++row)
            out << window->catalogueList->item(row)->text();
        return out;
    }
    QString Filename() const { return window->filenameEdit->text(); }

    TempDir tmp;
    ScopedWinePrefix prefix {tmp / "wine"};
    ScriptedDesktop desktop;
    std::unique_ptr<MainWindow> window;
};

}  // namespace

TEST_F(OperationButtonsTest, EveryOperationAsksForASelectionFirst)
{
    window->catalogueList->SelectSilently(-1);
    for (FlatButton* button : {window->compressButton, window->copyButton, window->moveButton, window->deleteButton})
        Click(button);
    EXPECT_EQ(desktop.Messages(),
              (std::vector<std::string> {"Select file!", "Select a game!", "Select a game!", "Select a file!"}));

    // Right after the "Incoming" list is filled nothing is selected; on "Outcoming" the button is off.
    TempDir::Write(tmp / "in/a.zip", "x");
    window->catalogueTabs->ClickTab(2);
    Click(window->compressButton);
    window->catalogueTabs->ClickTab(1);
    Click(window->compressButton);
    EXPECT_EQ(desktop.Messages().size(), 5u);
    EXPECT_EQ(desktop.Messages().back(), "Select file!");
}

TEST_F(OperationButtonsTest, CompressPacksTheSelectedBattleAndRefreshesNothing)
{
    ClickRow(1);
    Click(window->compressButton);
    EXPECT_EQ(desktop.Messages(), (std::vector<std::string> {"File successfully zipped!"}));
    EXPECT_TRUE(fs::exists(tmp / "out/b.zip"));
    EXPECT_FALSE(fs::exists(tmp / "out/a.zip"));
    EXPECT_EQ(window->config.Current().OutgoingDir(), (tmp / "out") + "\\");
    EXPECT_EQ(window->catalogueList->currentRow(), 1);
    EXPECT_EQ(Filename(), QStringLiteral("b.bte"));
}

TEST_F(OperationButtonsTest, DecompressUnpacksTheClickedIncomingArchiveAndRefreshesNothing)
{
    TempDir::Write(tmp / "src/c.bte", BattleText("0 0", "Charlie", "0 6", "1"));
    ASSERT_EQ(std::system(("cd '" + tmp.path() + "/src' && zip -q ../in/c.zip c.bte").c_str()), 0);
    window->catalogueTabs->ClickTab(2);
    ASSERT_EQ(Entries(), (QStringList {"c.zip"}));
    ClickRow(0);
    Click(window->compressButton);
    EXPECT_EQ(desktop.Messages(), (std::vector<std::string> {"File(s) extracted succesfully(unzip) !"}));
    EXPECT_EQ(TempDir::Read(tmp / "game/c.bte"), TempDir::Read(tmp / "src/c.bte"));
    EXPECT_EQ(Entries(), (QStringList {"c.zip"}));
}

TEST_F(OperationButtonsTest, CopyTakesTheBattleFileNotItsTitleAndLeavesTheWindowAlone)
{
    ClickRow(1);
    desktop.folderAnswers = {tmp / "dest"};
    Click(window->copyButton);
    EXPECT_EQ(TempDir::Read(tmp / "dest/b.bte"), TempDir::Read(tmp / "game/b.bte"));
    EXPECT_EQ(window->catalogueList->currentRow(), 1);
    EXPECT_EQ(Filename(), QStringLiteral("b.bte"));
}

TEST_F(OperationButtonsTest, MoveRebuildsTheListAndClearsTheDetailsEvenWhenCancelled)
{
    ClickRow(1);
    desktop.folderAnswers = {tmp / "dest"};
    Click(window->moveButton);
    EXPECT_TRUE(fs::exists(tmp / "dest/b.bte"));
    EXPECT_EQ(Entries(), (QStringList {"Alpha"}));
    EXPECT_TRUE(Filename().isEmpty());

    ClickRow(0);
    ASSERT_FALSE(Filename().isEmpty());
    TempDir::Write(tmp / "game/c.bte", BattleText("1 0", "Charlie", "0 6", "1"));
    Click(window->moveButton);  // cancelled
    EXPECT_EQ(Entries(), (QStringList {"Alpha", "Charlie"}));
    EXPECT_EQ(window->catalogueList->currentRow(), 0);
    EXPECT_TRUE(Filename().isEmpty());
}

TEST_F(OperationButtonsTest, DeleteRebuildsTheTabItWasOn)
{
    app::SaveComment("b.bte", "bravo note");
    ClickRow(1);
    desktop.boxAnswers = {base::IDNO};
    Click(window->deleteButton);
    EXPECT_EQ(desktop.shown.back().text, "You want delete file b.bte! Are you sure?");
    EXPECT_EQ(window->catalogueList->currentRow(), 0);  // rebuilt after "No" as well
    EXPECT_TRUE(Filename().isEmpty());

    ClickRow(1);
    desktop.boxAnswers = {base::IDYES};
    Click(window->deleteButton);
    EXPECT_EQ(Entries(), (QStringList {"Alpha"}));
    EXPECT_FALSE(app::FindComment("b.bte"));

    // On "Outcoming" the archive list is rebuilt and the panel keeps the date it showed.
    TempDir::Write(tmp / "out/o.zip", "z");
    TempDir::Write(tmp / "out/p.zip", "z");
    window->catalogueTabs->ClickTab(1);
    ClickRow(0);
    const QString name = window->catalogueList->item(0)->text();
    const QString date = Filename();
    desktop.boxAnswers = {base::IDYES};
    Click(window->deleteButton);
    EXPECT_FALSE(fs::exists(tmp / ("out/" + name.toStdString())));
    EXPECT_EQ(window->catalogueList->count(), 1);
    EXPECT_EQ(Filename(), date);
}

TEST_F(OperationButtonsTest, SendMailTakesTheTitleOnBattlesAndTheArchiveElsewhere)
{
    // The installation check runs once per process: the stand-in is on the PATH before the first call.
    FakePrograms programs;
    programs.PutFirstOnPath();
    programs.Write("xdg-email");
    ScopedEnv mailer("MAILER", "stand-in-mailer");
    TempDir::Write(tmp / "out/Turn07.zip", "PK\x05\x06");
    const std::string body = "Mail from Turnmail Manager\nGood Luck";

    ClickRow(1);
    Click(window->sendMailButton);
    EXPECT_EQ(programs.Args("xdg-email"), (std::vector<std::string> {"--utf8", "--subject", "Bravo", "--body", body,
                                                                     "--attach", tmp / "game/b.bte"}));
    window->catalogueTabs->ClickTab(1);
    ClickRow(0);
    Click(window->sendMailButton);
    EXPECT_EQ(programs.Args("xdg-email"), (std::vector<std::string> {"--utf8", "--subject", "Turn07.zip", "--body",
                                                                     body, "--attach", tmp / "out/Turn07.zip"}));
    EXPECT_TRUE(desktop.Messages().empty());
}

TEST_F(OperationButtonsTest, TheRowTheFocusMakesCurrentIsNoSelection)
{
    TempDir::Write(tmp / "src/c.bte", BattleText("0 0", "Charlie", "0 6", "1"));
    ASSERT_EQ(std::system(("cd '" + tmp.path() + "/src' && zip -q ../in/c.zip c.bte").c_str()), 0);
    // The window active and the list holding the keyboard focus, as a desktop gives them.
    window->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
    window->catalogueTabs->ClickTab(2);
    window->catalogueList->clearFocus();
    window->catalogueList->setFocus(Qt::TabFocusReason);
    ASSERT_TRUE(window->catalogueList->hasFocus());
    ASSERT_EQ(window->catalogueList->currentRow(), 0);  // current, but nothing highlighted

    Click(window->compressButton);
    Click(window->deleteButton);
    EXPECT_EQ(desktop.Messages(), (std::vector<std::string> {"Select file!", "Select a file!"}));
    EXPECT_FALSE(fs::exists(tmp / "game/c.bte"));
    EXPECT_TRUE(fs::exists(tmp / "in/c.zip"));
    EXPECT_TRUE(desktop.Of(Shown::Box).empty());  // no question about deleting

    // Ctrl+click on the highlighted entry clears the highlight: nothing is selected again.
    ClickRow(0);
    ASSERT_EQ(window->catalogueList->ItemIndex(), 0);
    QTest::mouseClick(window->catalogueList->viewport(), Qt::LeftButton, Qt::ControlModifier,
                      window->catalogueList->visualItemRect(window->catalogueList->item(0)).center());
    EXPECT_EQ(window->catalogueList->ItemIndex(), -1);
    desktop.shown.clear();
    Click(window->compressButton);
    EXPECT_EQ(desktop.Messages(), (std::vector<std::string> {"Select file!"}));
    EXPECT_FALSE(fs::exists(tmp / "game/c.bte"));

    // A battle list keeps its first entry selected after filling, and the keyboard moves the highlight.
    window->catalogueTabs->ClickTab(0);
    EXPECT_EQ(window->catalogueList->ItemIndex(), 0);
    QTest::keyClick(window->catalogueList, Qt::Key_Down);
    EXPECT_EQ(window->catalogueList->ItemIndex(), 1);
    EXPECT_EQ(Filename(), QStringLiteral("b.bte"));
}

TEST_F(OperationButtonsTest, DecompressAndCompressTellWhatFailed)
{
    // A received archive whose one member is damaged: one error box, no success text.
    TempDir::Write(tmp / "make.py", R"(import zipfile
with zipfile.ZipFile('in/c.zip', 'w', zipfile.ZIP_STORED) as z:
    z.writestr('c.bte', 'charlie battle')
data = bytearray(open('in/c.zip', 'rb').read())
data[data.index(b'charlie battle')] = ord('C')
open('in/c.zip', 'wb').write(data)
)");
    ASSERT_EQ(std::system(("cd '" + tmp.path() + "' && python3 make.py").c_str()), 0);
    window->catalogueTabs->ClickTab(2);
    ClickRow(0);
    Click(window->compressButton);
    EXPECT_EQ(desktop.Messages(),
              (std::vector<std::string> {"c.zip: 0 of 1 member was extracted into the game folder.\n"
                                         "Not extracted:\n    c.bte: damaged: its checksum does "
                                         "not match, so it was not kept"}));
    EXPECT_EQ(desktop.Errors().size(), 1u);
    EXPECT_FALSE(fs::exists(tmp / "game/c.bte"));

    // A battle gone between listing and click: Compress says so rather than nothing.
    desktop.shown.clear();
    window->catalogueTabs->ClickTab(0);
    ClickRow(1);
    fs::remove(tmp / "game/b.bte");
    Click(window->compressButton);
    ASSERT_EQ(desktop.Errors().size(), 1u);
    EXPECT_EQ(desktop.Errors()[0].rfind("b.bte was not packed: ", 0), 0u) << desktop.Errors()[0];
    EXPECT_FALSE(fs::exists(tmp / "out/b.zip"));
}

// Non-ASCII names with the game folder behind a drive letter and the archive folders native: the
// window shows them as they are spelled and every operation keeps them.
TEST_F(OperationButtonsTest, NamesOutsideAsciiThroughTheWindowWithBothFolderStyles)
{
    const std::string lodz = "\xC5\x81\xC3\xB3"
                             "d\xC5\xBA";  // "Łódź"
    const QString shownLodz = QString::fromUtf8(lodz.c_str());
    fs::create_directories(tmp / "wine/dosdevices");
    fs::create_directory_symlink(tmp.path(), tmp / "wine/dosdevices/d:");
    fs::create_directories(tmp / "Pl\xC3\xA9"
                                 "ateau");  // "Pléateau"
    TempDir::Write(tmp / ("Pl\xC3\xA9"
                          "ateau/" +
                          lodz + ".bte"),
                   BattleText("1 0", "Bataille d'\xE9t\xE9", "0 6", "1"));
    WriteConfig(tmp / "prog",
                "d:\\Pl\xC3\xA9"
                "ateau",
                tmp / "out", tmp / "in");
    window = std::make_unique<MainWindow>();
    window->zipComponent.SetDLLDirectory(TURNEX_BIN_DIR);
    window->show();
    window->activateWindow();
    QApplication::setActiveWindow(window.get());

    ASSERT_EQ(Entries(), (QStringList {QStringLiteral("Bataille d'\u00E9t\u00E9")}));  // the title, in Windows-1252
    ClickRow(0);
    EXPECT_EQ(Filename(), shownLodz + QStringLiteral(".bte"));
    QTest::mouseClick(window->notesEdit->viewport(), Qt::LeftButton, {}, QPoint(5, 5));
    QTest::keyClicks(window->notesEdit, QStringLiteral("hold"));
    Click(window->compressButton);  // saves the note first
    EXPECT_EQ(app::FindComment(lodz + ".bte").value_or("none"), "hold");
    EXPECT_EQ(desktop.Messages(), (std::vector<std::string> {"File successfully zipped!"}));
    EXPECT_EQ(TempDir::Names(tmp / "out"), std::vector<std::string> {lodz + ".zip"});

    window->catalogueTabs->ClickTab(1);
    EXPECT_EQ(Entries(), (QStringList {shownLodz + QStringLiteral(".zip")}));

    window->catalogueTabs->ClickTab(0);
    ClickRow(0);
    desktop.folderAnswers = {tmp / "dest"};
    Click(window->copyButton);
    EXPECT_EQ(TempDir::Names(tmp / "dest"), std::vector<std::string> {lodz + ".bte"});

    desktop.boxAnswers = {base::IDYES};
    Click(window->deleteButton);
    EXPECT_EQ(desktop.shown.back().text, "You want delete file " + lodz + ".bte! Are you sure?");
    EXPECT_TRUE(TempDir::Names(tmp / "Pl\xC3\xA9"
                                     "ateau")
                    .empty());
    EXPECT_FALSE(app::FindComment(lodz + ".bte"));
    EXPECT_TRUE(desktop.Errors().empty());
}
