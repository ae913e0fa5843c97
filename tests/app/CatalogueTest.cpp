#include "ui/MainWindow.h"
#include "base/ProgramDir.h"
#include "support/ConfigFile.h"
#include "support/ScriptedDesktop.h"
#include "support/TempDir.h"
#include "ui/FlatButton.h"
#include "ui/ListBox.h"
#include "ui/NotesEdit.h"
#include "ui/TabStrip.h"

#include <QApplication>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QPainter>
#include <QPlainTextEdit>
#include <QTest>
#include <gtest/gtest.h>

#include <filesystem>
#include <set>
#include <utime.h>

namespace fs = std::filesystem;

namespace {

class CatalogueTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        QLocale::setDefault(QLocale::c());
        base::SetProgramDirectory(tmp / "prog");
        fs::create_directories(tmp / "prog");
        fs::create_directories(tmp / "game");
        fs::create_directories(tmp / "out");
        fs::create_directories(tmp / "in");
        // The archive folders without a trailing separator, the way a folder browser gives them.
        WriteConfig(tmp / "prog", tmp / "game", tmp / "out", tmp / "in");
    }
    void AddBattle(const std::string& name, const std::string& text) { TempDir::Write(tmp / ("game/" + name), text); }
    static void SetTime(const std::string& file, time_t when)
    {
        utimbuf t {when, when};
        utime(file.c_str(), &t);
    }
    std::unique_ptr<MainWindow> Start()
    {
        auto window = std::make_unique<MainWindow>();
        window->show();
        return window;
    }
    static QStringList Entries(MainWindow& window)
    {
        QStringList out;
        for (int i = 0; i < window.catalogueList->count(); ++i)
            out << window.catalogueList->item(i)->text();
        return out;
    }
    // The colours the entry's text was drawn in (the list font has no blended edges).
    static void ClickRow(MainWindow& window, int row)
    {
        QTest::mouseClick(window.catalogueList->viewport(), Qt::LeftButton, {},
                          window.catalogueList->visualItemRect(window.catalogueList->item(row)).center());
    }
    static std::set<QRgb> TextColours(MainWindow& window, int row)
    {
        QApplication::processEvents();
        QImage img = window.catalogueList->viewport()->grab().toImage();
        QRect r = window.catalogueList->visualItemRect(window.catalogueList->item(row));
        std::set<QRgb> colours;
        for (int y = r.top() + 1; y < r.bottom(); ++y)
            for (int x = r.left() + 2; x < r.right() - 1; ++x) {
                QRgb c = img.pixel(x, y) & 0xFFFFFF;
                if (c != 0)
                    colours.insert(c);
            }
        return colours;
    }
    TempDir tmp;
    ScopedWinePrefix prefix {tmp / "wine"};
    ScriptedDesktop desktop;
};

}  // namespace

TEST_F(CatalogueTest, BattlesAreListedByTitleWithTheFirstSelectedButNotShown)
{
    AddBattle("b.bte", BattleText("1 0", "Kursk", "0 60", "fog 3"));
    AddBattle("A.BTE", BattleText("0 1", "Ardennes zip", "17 60", "2"));
    AddBattle("five.bte", "1\r\n2\r\n3\r\n4\r\n5\r\n");
    AddBattle("notes.txt", "x");
    auto window = Start();
    EXPECT_EQ(Entries(*window), (QStringList {"Ardennes zip", "Kursk", ""}));
    EXPECT_EQ(window->battleFileNames, (std::vector<std::string> {"A.BTE", "b.bte", "five.bte"}));
    EXPECT_EQ(window->catalogueList->currentRow(), 0);
    EXPECT_TRUE(window->filenameEdit->text().isEmpty());
    EXPECT_TRUE(window->sideEdit->text().isEmpty());

    // A click shows the details of the file behind the entry.
    ClickRow(*window, 1);
    EXPECT_EQ(window->filenameEdit->text(), QStringLiteral("b.bte"));
    EXPECT_EQ(window->sideEdit->text(), QStringLiteral("Allies"));
    EXPECT_EQ(window->turnEdit->text(), QStringLiteral("1"));
    EXPECT_EQ(window->lengthEdit->text(), QStringLiteral("10"));
    EXPECT_EQ(window->visibilityEdit->text(), QStringLiteral("3"));
    // A battle title ending in "zip" is drawn yellow, the others white.
    EXPECT_EQ(TextColours(*window, 0), (std::set<QRgb> {0xFFFF00}));
    EXPECT_EQ(TextColours(*window, 1).count(0xFFFFFF), 1u);
}

TEST_F(CatalogueTest, ArchivesNewestFirstInTheirColours)
{
    TempDir::Write(tmp / "out/a.zip", "a");
    TempDir::Write(tmp / "out/b.rar", "b");
    TempDir::Write(tmp / "out/c.ace", "c");
    TempDir::Write(tmp / "out/NOTE.ZIP", "n");
    TempDir::Write(tmp / "out/skip.txt", "n");
    fs::create_directory(tmp / "out/old.zip");
    SetTime(tmp / "out/a.zip", 1600000000);
    SetTime(tmp / "out/b.rar", 1600001000);
    SetTime(tmp / "out/c.ace", 1600002000);
    SetTime(tmp / "out/NOTE.ZIP", 1500000000);
    auto window = Start();
    window->catalogueTabs->ClickTab(1);
    ASSERT_EQ(Entries(*window), (QStringList {"c.ace", "b.rar", "a.zip", "NOTE.ZIP"}));
    EXPECT_EQ(window->catalogueList->currentRow(), -1);
    EXPECT_EQ(TextColours(*window, 0), (std::set<QRgb> {0xFFFFBF}));
    EXPECT_EQ(TextColours(*window, 1), (std::set<QRgb> {0xFFFF80}));
    EXPECT_EQ(TextColours(*window, 2), (std::set<QRgb> {0xFFFF00}));
    EXPECT_EQ(TextColours(*window, 3), (std::set<QRgb> {0xFFFF00}));
}

TEST_F(CatalogueTest, TabChangesRelabelAndSetTheButtons)
{
    auto window = Start();
    EXPECT_EQ(window->CurrentTab(), ops::Tab::Battles);
    window->catalogueTabs->ClickTab(2);
    EXPECT_EQ(window->CurrentTab(), ops::Tab::Incoming);
    EXPECT_EQ(window->compressButton->Caption(), QStringLiteral("Decompress"));
    EXPECT_TRUE(window->compressButton->Enabled());
    EXPECT_EQ(window->visibilityLabel->text(), QStringLiteral("Filesize"));
    EXPECT_EQ(window->filenameLabel->text(), QStringLiteral("Filedate"));
    for (QWidget* w : std::initializer_list<QWidget*> {window->lengthEdit, window->turnEdit, window->sideEdit,
                                                       window->notesEdit, window->lengthLabel, window->turnLabel,
                                                       window->sideLabel, window->notesLabel})
        EXPECT_FALSE(w->isVisible()) << w->objectName().toStdString();
    EXPECT_FALSE(window->copyButton->Enabled());
    EXPECT_EQ(window->moveButton->FontColor(), QColor(90, 90, 90));
    EXPECT_EQ(window->moveButton->cursor().shape(), Qt::ArrowCursor);

    window->catalogueTabs->ClickTab(1);
    EXPECT_EQ(window->compressButton->Caption(), QStringLiteral("Decompress"));  // left as it was
    EXPECT_FALSE(window->compressButton->Enabled());
    EXPECT_EQ(window->compressButton->FontColor(), QColor(90, 90, 90));
    EXPECT_TRUE(window->deleteButton->Enabled());
    EXPECT_TRUE(window->sendMailButton->Enabled());

    window->catalogueTabs->ClickTab(0);
    EXPECT_EQ(window->compressButton->Caption(), QStringLiteral("Compress"));
    EXPECT_TRUE(window->compressButton->Enabled());
    EXPECT_EQ(window->compressButton->FontColor(), QColor(0, 255, 0));
    EXPECT_EQ(window->copyButton->FontColor(), QColor(255, 255, 255));
    EXPECT_EQ(window->copyButton->cursor().shape(), Qt::PointingHandCursor);
    EXPECT_EQ(window->filenameLabel->text(), QStringLiteral("Filename"));
    EXPECT_TRUE(window->notesEdit->isVisible());
}

TEST_F(CatalogueTest, ArchiveDetailsAndTheTrailingBackslash)
{
    TempDir::Write(tmp / "out/turn.zip", std::string(123456, 'z'));
    TempDir::Write(tmp / "out/mid.rar", std::string(1000, 'r'));
    std::tm tm {};
    tm.tm_year = 2025 - 1900;
    tm.tm_mon = 0;
    tm.tm_mday = 2;
    tm.tm_hour = 13;
    tm.tm_min = 4;
    tm.tm_sec = 5;
    tm.tm_isdst = -1;
    SetTime(tmp / "out/turn.zip", mktime(&tm));
    tm.tm_mday = 1;
    tm.tm_hour = tm.tm_min = tm.tm_sec = 0;
    SetTime(tmp / "out/mid.rar", mktime(&tm));
    auto window = Start();
    window->catalogueTabs->ClickTab(1);
    EXPECT_EQ(window->config.Current().OutgoingDir(), tmp / "out");
    window->catalogueList->setCurrentRow(0);  // a user's selection: keyboard or mouse
    EXPECT_EQ(window->config.Current().OutgoingDir(), (tmp / "out") + "\\");
    const QLocale c = QLocale::c();
    EXPECT_EQ(window->filenameEdit->text(),
              c.toString(QDate(2025, 1, 2), QLocale::ShortFormat) + QStringLiteral(" 13:04:04"));
    EXPECT_EQ(window->visibilityEdit->text(), QStringLiteral("120.56 kB"));
    window->catalogueList->setCurrentRow(1);
    // Midnight shows the date alone.
    EXPECT_EQ(window->filenameEdit->text(), c.toString(QDate(2025, 1, 1), QLocale::ShortFormat));
    EXPECT_EQ(window->visibilityEdit->text(), QStringLiteral("0.97 kB"));
    EXPECT_EQ(window->config.Current().OutgoingDir(), (tmp / "out") + "\\");  // not doubled

    // An archive removed since the fill: reported, nothing on the panel changes.
    fs::remove(tmp / "out/turn.zip");
    window->catalogueList->setCurrentRow(0);
    ASSERT_EQ(desktop.Errors().size(), 1u);
    EXPECT_EQ(desktop.Errors()[0], "Invalid argument to date encode.");
    EXPECT_EQ(window->visibilityEdit->text(), QStringLiteral("0.97 kB"));

    // Back on "Battles" with an empty game folder: the archive's figures stay under the battle labels.
    window->catalogueTabs->ClickTab(0);
    EXPECT_EQ(window->catalogueList->count(), 0);
    EXPECT_EQ(window->filenameLabel->text(), QStringLiteral("Filename"));
    EXPECT_EQ(window->visibilityEdit->text(), QStringLiteral("0.97 kB"));
}

TEST_F(CatalogueTest, RefreshListsANewBattleWithTheDetailsCleared)
{
    AddBattle("one.bte", BattleText("1 0", "One", "0 6", "1"));
    auto window = Start();
    ClickRow(*window, 0);
    EXPECT_EQ(window->sideEdit->text(), QStringLiteral("Allies"));
    AddBattle("two.bte", BattleText("1 0", "Two", "0 6", "1"));
    QTest::mouseClick(window->refreshButton, Qt::LeftButton, {}, QPoint(10, 10));
    EXPECT_EQ(Entries(*window), (QStringList {"One", "Two"}));
    EXPECT_EQ(window->catalogueList->currentRow(), 0);
    EXPECT_TRUE(window->filenameEdit->text().isEmpty());
    EXPECT_TRUE(window->sideEdit->text().isEmpty());
}

TEST_F(CatalogueTest, AFolderNamedLikeABattleStopsTheFill)
{
    AddBattle("a.bte", BattleText("1 0", "First", "0 6", "1"));
    fs::create_directory(tmp / "game/b.bte");
    AddBattle("c.bte", BattleText("1 0", "Third", "0 6", "1"));
    auto window = Start();
    ASSERT_EQ(desktop.Errors(), (std::vector<std::string> {"File access denied."}));
    EXPECT_EQ(Entries(*window), (QStringList {"First"}));
    EXPECT_EQ(window->battleFileNames, (std::vector<std::string> {"a.bte", "b.bte"}));
    EXPECT_EQ(window->catalogueList->currentRow(), -1);

    // A tab change back to "Battles" that fails does not take place.
    fs::remove(tmp / "game/b.bte");
    window->catalogueTabs->ClickTab(1);
    fs::create_directory(tmp / "game/b.bte");
    window->catalogueTabs->ClickTab(0);
    EXPECT_EQ(desktop.Errors().size(), 2u);
    EXPECT_EQ(window->catalogueTabs->currentIndex(), 1);
    EXPECT_EQ(window->CurrentTab(), ops::Tab::Outgoing);
    EXPECT_EQ(window->filenameLabel->text(), QStringLiteral("Filedate"));
}

TEST_F(CatalogueTest, ADriveLetterGameFolderListsLinksAndNamesAsOnDisk)
{
    // d: leads to the folder holding the game folder; the profile spells the folder in capitals.
    fs::create_directories(tmp / "wine/dosdevices");
    fs::create_directory_symlink(tmp.path(), tmp / "wine/dosdevices/d:");
    WriteConfig(tmp / "prog", "D:\\GAME", tmp / "out", tmp / "in");
    fs::rename(tmp / "game", tmp / "Game");
    TempDir::Write(tmp / "Game/\xc3\x89t\xc3\xa9.bte", BattleText("1 0", "Summer", "0 6", "1"));
    TempDir::Write(tmp / "Game/a.Bte", BattleText("1 0", "Alpha", "0 6", "1"));
    TempDir::Write(tmp / "elsewhere/linked.txt", BattleText("1 0", "Linked", "0 6", "1"));
    fs::create_symlink(tmp / "elsewhere/linked.txt", tmp / "Game/l.bte");
    fs::create_directory_symlink(tmp / "elsewhere", tmp / "Game/skipped.txt");
    auto window = Start();
    EXPECT_TRUE(desktop.Errors().empty());
    EXPECT_EQ(Entries(*window), (QStringList {"Alpha", "Linked", "Summer"}));
    EXPECT_EQ(window->battleFileNames, (std::vector<std::string> {"a.Bte", "l.bte", "\xc3\x89t\xc3\xa9.bte"}));

    // A link that leads nowhere is listed, and the fill stops there with the reason.
    fs::create_symlink(tmp / "gone.bte", tmp / "Game/m.bte");
    window->catalogueTabs->ClickTab(1);
    window->catalogueTabs->ClickTab(0);
    ASSERT_EQ(desktop.Errors(), (std::vector<std::string> {"File not found."}));
    EXPECT_EQ(window->battleFileNames, (std::vector<std::string> {"a.Bte", "l.bte", "m.bte"}));
    EXPECT_EQ(Entries(*window), (QStringList {"Alpha", "Linked"}));
}

TEST_F(CatalogueTest, TitlesFollowTheLineRulesAcrossReadBoundaries)
{
    // Line 5 ends with its CR as the last byte of the first 4096 read and its LF as the first of
    // the next: the LF still belongs to the line end, not to the title.
    AddBattle("a.bte", "1\r\n2\r\n3\r\n4\r\n" + std::string(4083, 'x') + "\r\nAcross\r\n");
    AddBattle("b.bte", "1\r\n2\r\n3\r\n4\r\n5\r\nEnds here\x1A"
                       "after the end\r\n");
    AddBattle("c.bte", "1\r\n2\r\n3\r\n4\r\n5\r\nNo line end");
    AddBattle("d.bte", "1\r\n2\r\n3\r\n4\r\n5\nstill five\r\nSix\r\n");
    auto window = Start();
    EXPECT_TRUE(desktop.Errors().empty());
    EXPECT_EQ(Entries(*window), (QStringList {"Across", "Ends here", "No line end", "Six"}));
}

TEST_F(CatalogueTest, ABadTurnLineKeepsWhatWasFilledAndTheTabStillChanges)
{
    AddBattle("bad.bte", BattleText("0 0", "Bad", "x 60", "fog 3"));
    auto window = Start();
    window->visibilityEdit->setText(QStringLiteral("old"));
    window->catalogueList->setCurrentRow(-1);
    window->catalogueList->SelectSilently(0);
    window->catalogueList->Click();
    ASSERT_EQ(desktop.Errors(), (std::vector<std::string> {"'x' is not a valid integer value."}));
    EXPECT_EQ(window->filenameEdit->text(), QStringLiteral("bad.bte"));
    EXPECT_EQ(window->sideEdit->text(), QStringLiteral("Allies"));
    EXPECT_EQ(window->visibilityEdit->text(), QStringLiteral("old"));

    window->catalogueTabs->ClickTab(2);
    window->catalogueTabs->ClickTab(0);
    EXPECT_EQ(desktop.Errors().size(), 2u);
    EXPECT_EQ(window->catalogueTabs->currentIndex(), 0);
    EXPECT_EQ(window->filenameLabel->text(), QStringLiteral("Filename"));
}

TEST_F(CatalogueTest, ClickingTheCurrentTabChangesNothing)
{
    AddBattle("one.bte", BattleText("1 0", "One", "0 6", "1"));
    auto window = Start();
    window->filenameEdit->setText(QStringLiteral("kept"));
    QTest::mouseClick(window->catalogueTabs, Qt::LeftButton, {}, window->catalogueTabs->tabRect(0).center());
    EXPECT_EQ(window->filenameEdit->text(), QStringLiteral("kept"));
    QTest::mouseClick(window->catalogueTabs, Qt::LeftButton, {}, window->catalogueTabs->tabRect(2).center());
    EXPECT_EQ(window->catalogueTabs->currentIndex(), 2);
    EXPECT_TRUE(window->filenameEdit->text().isEmpty());
}

TEST_F(CatalogueTest, MissingFoldersGiveEmptyListsWithoutAMessage)
{
    WriteConfig(tmp / "prog", tmp / "nothing", tmp / "nothing2", tmp / "nothing3");
    auto window = Start();
    window->catalogueTabs->ClickTab(1);
    window->catalogueTabs->ClickTab(2);
    window->catalogueTabs->ClickTab(0);
    EXPECT_EQ(window->catalogueList->count(), 0);
    EXPECT_TRUE(desktop.shown.empty());
}
