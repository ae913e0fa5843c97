#include "app/CommentStore.h"
#include "ui/MainWindow.h"
#include "base/Errors.h"
#include "base/ProgramDir.h"
#include "support/ConfigFile.h"
#include "support/ScriptedDesktop.h"
#include "support/TempDir.h"
#include "ui/FlatButton.h"
#include "ui/ListBox.h"
#include "ui/TabStrip.h"
#include "ui/NotesEdit.h"

#include <QApplication>
#include <QClipboard>
#include <QKeyEvent>
#include <QLineEdit>
#include <QTest>
#include <gtest/gtest.h>

#include <filesystem>

namespace fs = std::filesystem;
using namespace app;

namespace {

std::string Record(const std::string& name, const std::string& comment)
{
    std::string r(282, '\0');
    r[0] = static_cast<char>(name.size());
    r.replace(1, name.size(), name);
    r[26] = static_cast<char>(comment.size());
    r.replace(27, comment.size(), comment);
    return r;
}

class CommentStoreTest : public ::testing::Test {
protected:
    void SetUp() override { base::SetProgramDirectory(tmp.path()); }
    std::string File() const { return tmp / "user.dat"; }
    std::string Contents() const { return TempDir::Read(File()); }
    TempDir tmp;
};

}  // namespace

TEST_F(CommentStoreTest, FindCreatesAnEmptyStore)
{
    EXPECT_FALSE(FindComment("a.bte").has_value());
    ASSERT_TRUE(fs::exists(File()));
    EXPECT_EQ(fs::file_size(File()), 0u);
}

TEST_F(CommentStoreTest, SaveAppendsOnceThenReplaces)
{
    SaveComment("a.bte", "first");
    EXPECT_EQ(fs::file_size(File()), 282u);
    SaveComment("a.bte", "second\r\nline");
    EXPECT_EQ(fs::file_size(File()), 282u);
    EXPECT_EQ(FindComment("a.bte").value(), "second\r\nline");
    SaveComment("b.bte", "");  // an empty note is a record too
    EXPECT_EQ(fs::file_size(File()), 564u);
    EXPECT_EQ(FindComment("b.bte").value(), "");
    EXPECT_EQ(Contents().substr(0, 282), Record("a.bte", "second\r\nline"));
}

TEST_F(CommentStoreTest, MatchingIsByteForByteAndTheFirstRecordWins)
{
    TempDir::Write(File(), Record("A.bte", "upper") + Record("a.bte", "lower") + Record("a.bte", "later") +
                               Record("a.bt", "short"));
    EXPECT_EQ(FindComment("A.bte").value(), "upper");
    EXPECT_EQ(FindComment("a.bte").value(), "lower");
    EXPECT_FALSE(FindComment("a.b").has_value());
    SaveComment("a.bte", "changed");
    EXPECT_EQ(Contents().substr(282, 282), Record("a.bte", "changed"));
    EXPECT_EQ(Contents().substr(564, 282), Record("a.bte", "later"));
    SaveComment("", "no name");
    EXPECT_EQ(FindComment("").value(), "no name");
}

TEST_F(CommentStoreTest, RemoveTakesEveryMatchAndKeepsTheOrder)
{
    const std::string a = Record("a.bte", "1"), b = Record("b.bte", "2"), c = Record("c.bte", "3");
    TempDir::Write(File(), a + b + Record("x.bte", "gone") + c + Record("x.bte", "gone too"));
    RemoveComments("x.bte");
    EXPECT_EQ(Contents(), a + b + c);
    RemoveComments("none.bte");
    EXPECT_EQ(Contents(), a + b + c);
    fs::remove(File());
    try {
        RemoveComments("a.bte");
        FAIL();
    } catch (const base::Exception& e) {
        EXPECT_EQ(std::string(e.what()), "Cannot open file " + File());
    }
    EXPECT_FALSE(fs::exists(File()));
}

TEST_F(CommentStoreTest, NamesAreStoredInWindows1252WhereItHoldsThem)
{
    const std::string lodz = "\xC5\x81\xC3\xB3"
                             "d\xC5\xBA.bte";  // "Łódź.bte": Ł and ź are not in the page
    const std::string lodzOther = "\xC5\x81\xC3\xB3"
                                  "d\xC5\xBC.bte";  // "Łódż.bte"
    SaveComment("Op\xC3\xA9ration.bte", "french");
    SaveComment(lodz, "polish");
    SaveComment(lodzOther, "another town");
    SaveComment("Op\xE9ration.bte", "a raw name from the disk");  // not UTF-8: kept as it is
    EXPECT_EQ(Contents().substr(0, 282), Record("Op\xE9ration.bte", "a raw name from the disk"));
    EXPECT_EQ(Contents().substr(282, 282), Record(lodz, "polish"));
    EXPECT_EQ(fs::file_size(File()), 3 * 282u);
    EXPECT_EQ(FindComment("Op\xC3\xA9ration.bte").value(), "a raw name from the disk");
    EXPECT_EQ(FindComment(lodz).value(), "polish");
    RemoveComments(lodzOther);  // its battle deleted: the other town keeps its note
    RemoveComments("Op\xC3\xA9ration.bte");
    EXPECT_EQ(Contents(), Record(lodz, "polish"));
}

TEST_F(CommentStoreTest, LongNamesAreKeyedByTheirFirst25Characters)
{
    const std::string longName = "a-battle-with-a-very-long-name-1.bte";
    SaveComment(longName, "kept");
    SaveComment(longName, "kept again");
    EXPECT_EQ(fs::file_size(File()), 282u);
    EXPECT_EQ(FindComment(longName).value(), "kept again");
    EXPECT_EQ(Contents()[0], 25);
    RemoveComments(longName);
    EXPECT_EQ(fs::file_size(File()), 0u);
}

TEST_F(CommentStoreTest, AFull255CharacterNoteIsStoredWhole)
{
    std::string note;
    while (note.size() < 253)
        note += "ab\r\n";
    note.resize(253);
    note += "\r\n";
    SaveComment("n.bte", note + "cut");
    EXPECT_EQ(FindComment("n.bte").value(), note);
}

TEST_F(CommentStoreTest, APartialLastRecord)
{
    TempDir::Write(File(), Record("a.bte", "found") + std::string(100, 'x'));
    EXPECT_EQ(FindComment("a.bte").value(), "found");
    SaveComment("a.bte", "saved");
    EXPECT_EQ(FindComment("a.bte").value(), "saved");
    const std::string before = Contents();
    for (auto op :
         {+[] { FindComment("b.bte"); }, +[] { SaveComment("b.bte", "x"); }, +[] { RemoveComments("a.bte"); }}) {
        try {
            op();
            ADD_FAILURE();
        } catch (const base::Exception& e) {
            EXPECT_STREQ(e.what(), "Stream read error");
        }
        EXPECT_EQ(Contents(), before);  // nothing written
    }
}

TEST_F(CommentStoreTest, AFolderThatCannotHoldTheStore)
{
    base::SetProgramDirectory(tmp / "missing");
    for (auto op : {+[] { FindComment("a.bte"); }, +[] { SaveComment("a.bte", "x"); }}) {
        try {
            op();
            ADD_FAILURE();
        } catch (const base::Exception& e) {
            EXPECT_EQ(std::string(e.what()), "Cannot create file " + (tmp / "missing/user.dat"));
        }
    }
}

// ---- the notes in the main window ----

class WindowNotesTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        base::SetProgramDirectory(tmp / "prog");
        WriteConfig(tmp / "prog", tmp / "game", tmp / "out", tmp / "in");
        TempDir::Write(tmp / "game/a.bte", BattleText("1 0", "Alpha", "0 6", "1"));
        TempDir::Write(tmp / "game/b.bte", BattleText("0 0", "Bravo", "0 6", "1"));
        window = std::make_unique<MainWindow>();
        window->show();
        window->activateWindow();
        QApplication::setActiveWindow(window.get());
    }
    void ClickRow(int row)
    {
        QTest::mouseClick(window->catalogueList->viewport(), Qt::LeftButton, {},
                          window->catalogueList->visualItemRect(window->catalogueList->item(row)).center());
    }
    void TypeIntoNotes(const QString& text)
    {
        QTest::mouseClick(window->notesEdit->viewport(), Qt::LeftButton, {}, QPoint(5, 5));
        ASSERT_TRUE(window->notesEdit->hasFocus());
        QTest::keyClicks(window->notesEdit, text);
    }
    TempDir tmp;
    ScopedWinePrefix prefix {tmp / "wine"};
    ScriptedDesktop desktop;
    std::unique_ptr<MainWindow> window;
};

TEST_F(WindowNotesTest, FirstSelectionCreatesAnEmptyStore)
{
    ClickRow(0);
    EXPECT_EQ(fs::file_size(tmp / "prog/user.dat"), 0u);
    EXPECT_TRUE(window->notesEdit->toPlainText().isEmpty());
}

TEST_F(WindowNotesTest, ANoteGoesToTheBattleItWasWrittenFor)
{
    ClickRow(0);
    TypeIntoNotes(QStringLiteral("attack at dawn"));
    QTest::keyClick(window->notesEdit, Qt::Key_Return);
    QTest::keyClicks(window->notesEdit, QStringLiteral("line two"));
    ClickRow(1);  // leaving the notes by selecting another battle
    EXPECT_EQ(window->filenameEdit->text(), QStringLiteral("b.bte"));
    EXPECT_EQ(FindComment("a.bte").value(), "attack at dawn\r\nline two");
    EXPECT_FALSE(FindComment("b.bte").has_value());
    EXPECT_TRUE(window->notesEdit->toPlainText().isEmpty());
    ClickRow(0);
    EXPECT_EQ(window->notesEdit->toPlainText(), QStringLiteral("attack at dawn\nline two"));
    EXPECT_TRUE(desktop.Errors().empty());
}

TEST_F(WindowNotesTest, ANoteTypedBeforeAnySelectionIsStoredUnderTheEmptyName)
{
    TypeIntoNotes(QStringLiteral("orphan"));
    QTest::mouseClick(window->refreshButton, Qt::LeftButton, {}, QPoint(10, 10));  // Refresh
    EXPECT_EQ(FindComment("").value(), "orphan");
    EXPECT_TRUE(window->notesEdit->toPlainText().isEmpty());
}

TEST_F(WindowNotesTest, SwitchingTabsSavesTheNoteFirst)
{
    ClickRow(1);
    TypeIntoNotes(QStringLiteral("hold the bridge"));
    window->catalogueTabs->ClickTab(1);
    EXPECT_EQ(FindComment("b.bte").value(), "hold the bridge");
    EXPECT_FALSE(FindComment("").has_value());
}

TEST_F(WindowNotesTest, TheNotesHoldAt255StoredCharacters)
{
    ClickRow(0);
    TypeIntoNotes(QString(250, QLatin1Char('x')));
    QTest::keyClick(window->notesEdit, Qt::Key_Return);             // 252
    QTest::keyClicks(window->notesEdit, QStringLiteral("abcdef"));  // only "abc" fits
    EXPECT_EQ(NotesEdit::StoredLength(window->notesEdit->toPlainText()), 255);
    QTest::keyClick(window->notesEdit, Qt::Key_Return);  // a line break would need two
    EXPECT_EQ(NotesEdit::StoredLength(window->notesEdit->toPlainText()), 255);
    window->notesEdit->selectAll();
    QApplication::clipboard()->setText(QString(300, QLatin1Char('p')));
    window->notesEdit->paste();  // cut to fit, replacing the selection
    EXPECT_EQ(window->notesEdit->toPlainText(), QString(255, QLatin1Char('p')));
    ClickRow(1);
    EXPECT_EQ(FindComment("a.bte").value(), std::string(255, 'p'));
}

TEST_F(WindowNotesTest, CharactersOutsideWindows1252BecomeQuestionMarks)
{
    ClickRow(0);
    TypeIntoNotes(QStringLiteral("caf"));
    // Keys beyond ASCII arrive as key events carrying their text, as a keyboard layout sends them.
    for (const char* utf8 : {"\xC3\xA9", " ", "\xE2\x82\xAC", " ", "\xE2\x98\x83"}) {
        QKeyEvent press(QEvent::KeyPress, Qt::Key_unknown, Qt::NoModifier, QString::fromUtf8(utf8));
        QApplication::sendEvent(window->notesEdit, &press);
    }
    ClickRow(1);
    EXPECT_EQ(FindComment("a.bte").value(), "caf\xE9 \x80 ?");
    ClickRow(0);
    EXPECT_EQ(window->notesEdit->toPlainText(), QString::fromUtf8("caf\xC3\xA9 \xE2\x82\xAC ?"));
}
