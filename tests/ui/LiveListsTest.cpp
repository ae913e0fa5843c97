// The main window's lists follow their folders: a file saved into the folder of the tab shown
// appears without Refresh, the selection and a note being typed are kept, and the details of the
// shown entry are read again when its file changes. Archives dropped on the window come into the
// incoming folder and are shown there.
#include "app/CommentStore.h"
#include "base/ProgramDir.h"
#include "support/ConfigFile.h"
#include "support/ScriptedDesktop.h"
#include "support/Soon.h"
#include "support/TempDir.h"
#include "ui/FlatButton.h"
#include "ui/FolderWatch.h"
#include "ui/ListBox.h"
#include "ui/MainWindow.h"
#include "ui/NotesEdit.h"
#include "ui/TabStrip.h"

#include <QApplication>
#include <QDialog>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QLineEdit>
#include <QMimeData>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>
#include <QUrl>
#include <gtest/gtest.h>

#include <filesystem>

namespace fs = std::filesystem;

namespace {

class LiveListsTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        base::SetProgramDirectory(tmp / "prog");
        WriteConfig(tmp / "prog", tmp / "game", tmp / "out", tmp / "in");
        Battle("a.bte", "Alpha", "0 6");
        Battle("c.bte", "Charlie", "0 6");
        for (const char* folder : {"out", "in", "mail"})
            fs::create_directories(tmp / folder);
        window = std::make_unique<MainWindow>();
        window->zipComponent.SetDLLDirectory(TURNEX_BIN_DIR);
        window->show();
        // Active, as a desktop makes it, so that the note can hold the keyboard focus.
        window->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
    }
    void Battle(const std::string& name, const std::string& title, const std::string& turns)
    {
        TempDir::Write(tmp / ("game/" + name), BattleText("1 0", title, turns, "1"));
    }
    void ClickRow(int row)
    {
        QTest::mouseClick(window->catalogueList->viewport(), Qt::LeftButton, {},
                          window->catalogueList->visualItemRect(window->catalogueList->item(row)).center());
    }
    std::vector<std::string> Entries() const
    {
        std::vector<std::string> out;
        for (int row = 0; row < window->catalogueList->count(); ++row)
            out.push_back(window->catalogueList->item(row)->text().toStdString());
        return out;
    }
    std::string Selected() const
    {
        const int row = window->catalogueList->ItemIndex();
        return row < 0 ? std::string() : window->catalogueList->item(row)->text().toStdString();
    }
    static std::string Text(const QLineEdit* field) { return field->text().toStdString(); }
    std::string Note() const { return window->notesEdit->toPlainText().toStdString(); }
    void TypeNote(const QString& text)
    {
        window->notesEdit->setFocus(Qt::MouseFocusReason);
        QTest::keyClicks(window->notesEdit, text);
    }
    // Waits until the watch has reported a change and the window has taken it.
    void WaitForReport()
    {
        QSignalSpy spy(window->folderWatch, &FolderWatch::Changed);
        ASSERT_TRUE(spy.wait(5000));
    }

    TempDir tmp;
    ScopedWinePrefix prefix {tmp / "wine"};
    ScriptedDesktop desktop;
    std::unique_ptr<MainWindow> window;
};

}  // namespace

// The watches are set right after the window is first painted: a battle saved while the window
// was being made, after its list was read, still appears.
TEST(LiveListsAtStart, ABattleSavedWhileTheWindowWasMadeAppearsOnceItIsShown)
{
    TempDir tmp;
    ScopedWinePrefix prefix {tmp / "wine"};
    ScriptedDesktop desktop;
    base::SetProgramDirectory(tmp / "prog");
    WriteConfig(tmp / "prog", tmp / "game", tmp / "out", tmp / "in");
    TempDir::Write(tmp / "game/a.bte", BattleText("1 0", "Alpha", "0 6", "1"));
    MainWindow window;
    ASSERT_EQ(window.catalogueList->count(), 1);  // filled before it is shown
    TempDir::Write(tmp / "game/b.bte", BattleText("1 0", "Bravo", "0 6", "1"));
    window.show();
    EXPECT_SOON_EQ(window.catalogueList->count(), 2);
    EXPECT_EQ(window.catalogueList->ItemIndex(), 0);
    EXPECT_TRUE(desktop.shown.empty());
}

TEST_F(LiveListsTest, ABattleSavedByTheGameAppearsAndTheNoteBeingTypedStaysWithItsBattle)
{
    ClickRow(1);
    ASSERT_EQ(Text(window->filenameEdit), "c.bte");
    TypeNote(QStringLiteral("hold the bridge"));

    Battle("b.bte", "Bravo", "0 6");
    EXPECT_SOON_EQ(Entries(), (std::vector<std::string> {"Alpha", "Bravo", "Charlie"}));
    EXPECT_EQ(Selected(), "Charlie");
    EXPECT_EQ(Text(window->filenameEdit), "c.bte");
    EXPECT_EQ(Note(), "hold the bridge");
    EXPECT_TRUE(window->notesEdit->hasFocus());

    // The game saves the shown battle: its fields are read again, the note is left as typed.
    Battle("c.bte", "Charlie", "42 60");
    EXPECT_SOON_EQ(Text(window->turnEdit), "8");
    EXPECT_EQ(Text(window->lengthEdit), "10");
    EXPECT_EQ(Note(), "hold the bridge");
    QTest::keyClicks(window->notesEdit, QStringLiteral("!"));

    // Leaving the note for another battle saves it to the battle it was typed for.
    ClickRow(0);
    EXPECT_EQ(Text(window->filenameEdit), "a.bte");
    EXPECT_EQ(app::FindComment("c.bte"), "hold the bridge!");
    EXPECT_FALSE(app::FindComment("b.bte").has_value());
    EXPECT_TRUE(desktop.shown.empty());
}

TEST_F(LiveListsTest, TheShownBattleRemovedKeepsANoteBeingTypedElseTheDetailsAreCleared)
{
    ClickRow(1);
    TypeNote(QStringLiteral("they retreat"));
    fs::remove(tmp / "game/c.bte");
    EXPECT_SOON_EQ(Entries(), (std::vector<std::string> {"Alpha"}));
    EXPECT_EQ(window->catalogueList->ItemIndex(), -1);
    // The panel still shows the battle the note is being typed for, and the note goes there.
    EXPECT_EQ(Text(window->filenameEdit), "c.bte");
    EXPECT_EQ(Note(), "they retreat");
    ClickRow(0);
    EXPECT_EQ(app::FindComment("c.bte"), "they retreat");

    // Without a note in use the panel of a battle that went is emptied.
    window->catalogueList->setFocus();
    fs::remove(tmp / "game/a.bte");
    EXPECT_SOON_EQ(Entries(), std::vector<std::string>());
    EXPECT_TRUE(window->filenameEdit->text().isEmpty());
    EXPECT_TRUE(window->turnEdit->text().isEmpty());
    EXPECT_TRUE(desktop.shown.empty());
}

TEST_F(LiveListsTest, IncomingArchivesAppearAndTheSelectedOneIsReadAgainWhenItGrows)
{
    window->catalogueTabs->ClickTab(2);
    TempDir::Write(tmp / "in/a.zip", std::string(2048, 'a'));
    EXPECT_SOON_EQ(Entries(), (std::vector<std::string> {"a.zip"}));
    ClickRow(0);
    ASSERT_EQ(Text(window->visibilityEdit), "2 kB");

    // Another archive comes: the selection stays on a.zip wherever it now stands.
    TempDir::Write(tmp / "in/b.zip", "b");
    fs::last_write_time(tmp / "in/b.zip", fs::last_write_time(tmp / "in/a.zip") + std::chrono::hours(1));
    EXPECT_SOON_EQ(Entries(), (std::vector<std::string> {"b.zip", "a.zip"}));
    EXPECT_EQ(Selected(), "a.zip");

    TempDir::Write(tmp / "in/a.zip", std::string(4096, 'a'));
    EXPECT_SOON_EQ(Text(window->visibilityEdit), "4 kB");
    EXPECT_EQ(Selected(), "a.zip");

    fs::remove(tmp / "in/a.zip");
    EXPECT_SOON_EQ(Entries(), (std::vector<std::string> {"b.zip"}));
    EXPECT_EQ(window->catalogueList->ItemIndex(), -1);
    EXPECT_TRUE(window->visibilityEdit->text().isEmpty());
    EXPECT_TRUE(desktop.shown.empty());
}

TEST_F(LiveListsTest, OnlyTheFolderOfTheTabShownIsFollowed)
{
    const auto followed = [&] { return window->folderWatch->Folder(); };
    EXPECT_EQ(followed(), tmp / "game");
    window->catalogueTabs->ClickTab(1);
    EXPECT_EQ(followed(), tmp / "out");
    window->catalogueTabs->ClickTab(2);
    EXPECT_EQ(followed(), tmp / "in");

    // After the options changed the folder, the new one is followed and the old one let go.
    fs::create_directories(tmp / "in2");
    window->config.Current().SetIncomingDir(tmp / "in2");
    window->RefillList();
    EXPECT_EQ(followed(), tmp / "in2");
    TempDir::Write(tmp / "in/old.zip", "");
    TempDir::Write(tmp / "in2/new.zip", "");
    EXPECT_SOON_EQ(Entries(), (std::vector<std::string> {"new.zip"}));
}

TEST_F(LiveListsTest, WhileADialogIsOpenTheListWaitsForIt)
{
    std::vector<std::string> duringDialog;
    QDialog dialog(window.get());
    QTimer::singleShot(0, &dialog, [&] {
        Battle("b.bte", "Bravo", "0 6");
        WaitForReport();
        duringDialog = Entries();
        dialog.accept();
    });
    dialog.exec();
    EXPECT_EQ(duringDialog, (std::vector<std::string> {"Alpha", "Charlie"}));
    EXPECT_SOON_EQ(Entries(), (std::vector<std::string> {"Alpha", "Bravo", "Charlie"}));
}

TEST_F(LiveListsTest, ABattleThatCannotBeReadIsToldOnceWhateverElseChanges)
{
    ClickRow(1);
    // Line 7 broken, and it stays so: tried again after a quiet spell, then told.
    Battle("c.bte", "Charlie", "x 60");
    EXPECT_SOON_EQ(desktop.Errors(), (std::vector<std::string> {"'x' is not a valid integer value."}));
    Battle("d.bte", "Delta", "0 6");
    EXPECT_SOON_EQ(Entries(), (std::vector<std::string> {"Alpha", "Charlie", "Delta"}));
    Battle("c.bte", "Charlie", "x 66");
    WaitForReport();
    EXPECT_EQ(desktop.Errors().size(), 1u);

    // Mended: the details come back, and a later fault would be told again.
    Battle("c.bte", "Charlie", "6 60");
    EXPECT_SOON_EQ(Text(window->turnEdit), "2");
    EXPECT_EQ(desktop.Errors().size(), 1u);
}

// ---- drops ----

namespace {

class DropTest : public LiveListsTest {
protected:
    struct Result {
        bool entered = false;
        bool dropped = false;
        Qt::DropAction action = Qt::IgnoreAction;
    };
    // A real drag from a file manager: the enter event, then the drop, onto a control.
    static Result Drop(QWidget* target, const QList<QUrl>& urls, const QString& text = {})
    {
        QMimeData mime;
        mime.setUrls(urls);
        if (!text.isEmpty())
            mime.setText(text);
        const QPoint at = target->rect().center();
        const Qt::DropActions offered = Qt::CopyAction | Qt::MoveAction;
        QDragEnterEvent enter(at, offered, &mime, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(target, &enter);
        QDropEvent drop(QPointF(at), offered, &mime, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(target, &drop);
        return {enter.isAccepted(), drop.isAccepted(), drop.dropAction()};
    }
    QUrl Attachment(const std::string& name, const std::string& bytes)
    {
        TempDir::Write(tmp / ("mail/" + name), bytes);
        return QUrl::fromLocalFile(QString::fromStdString(tmp / ("mail/" + name)));
    }
};

}  // namespace

TEST_F(DropTest, AnArchiveDroppedOnTheListIsReceivedShownAndUnpacks)
{
    TempDir::Write(tmp / "src/Turn07.bte", BattleText("0 0", "Bravo", "0 6", "1"));
    ASSERT_EQ(std::system(("cd '" + tmp.path() + "/src' && zip -q ../mail/Turn07.zip Turn07.bte").c_str()), 0);
    const auto result =
        Drop(window->catalogueList->viewport(), {QUrl::fromLocalFile(QString::fromStdString(tmp / "mail/Turn07.zip"))});
    EXPECT_TRUE(result.entered);
    EXPECT_TRUE(result.dropped);
    EXPECT_EQ(result.action, Qt::CopyAction);  // the file manager keeps its file

    EXPECT_SOON_EQ(window->CurrentTab(), MainWindow::Tab::Incoming);
    EXPECT_EQ(window->catalogueTabs->currentIndex(), 2);
    EXPECT_EQ(Entries(), (std::vector<std::string> {"Turn07.zip"}));
    EXPECT_EQ(Selected(), "Turn07.zip");
    EXPECT_FALSE(window->visibilityEdit->text().isEmpty());  // its size, as a click shows it
    EXPECT_EQ(window->compressButton->Caption().toStdString(), "Decompress");
    EXPECT_TRUE(fs::exists(tmp / "mail/Turn07.zip"));
    EXPECT_TRUE(desktop.shown.empty());

    QTest::mouseClick(window->compressButton, Qt::LeftButton, {}, QPoint(5, 5));
    EXPECT_SOON_EQ(desktop.Messages(), (std::vector<std::string> {"File(s) extracted succesfully(unzip) !"}));
    EXPECT_EQ(TempDir::Read(tmp / "game/Turn07.bte"), TempDir::Read(tmp / "src/Turn07.bte"));
}

TEST_F(DropTest, DroppedOnTheNoteTheFilesGoToTheWindowAndTheRestIsNamed)
{
    ClickRow(0);
    TypeNote(QStringLiteral("their move"));
    const QString path = QString::fromStdString(tmp / "mail/a.ZIP");
    const auto result = Drop(window->notesEdit->viewport(),
                             {Attachment("a.ZIP", "zip"), Attachment("notes.txt", "text"),
                              QUrl(QStringLiteral("https://example.org/b.zip"))},
                             path);
    EXPECT_TRUE(result.dropped);
    ASSERT_SOON_EQ(desktop.Messages(),
                   (std::vector<std::string> {
                       "notes.txt was not received: only .zip, .rar and .ace archives go into the incoming folder.\n"
                       "https://example.org/b.zip was not received: it is not a file on this computer."}));
    EXPECT_EQ(desktop.shown[0].kind, Shown::Message);
    // The archive is shown on "Incoming" behind the message; the note was saved as typed, no path in it.
    EXPECT_EQ(window->CurrentTab(), MainWindow::Tab::Incoming);
    EXPECT_EQ(Selected(), "a.ZIP");
    EXPECT_EQ(TempDir::Read(tmp / "in/a.ZIP"), "zip");
    EXPECT_EQ(app::FindComment("a.bte"), "their move");
}

TEST_F(DropTest, ReplacingAsksAndFailuresAreTold)
{
    TempDir::Write(tmp / "in/Turn07.zip", "last turn");
    desktop.boxAnswers = {base::IDNO};
    Drop(window.get(), {Attachment("Turn07.zip", "this turn")});
    EXPECT_SOON_EQ(desktop.Messages(),
                   (std::vector<std::string> {"Turn07.zip is already in the incoming folder. Replace it?"}));
    // No: nothing changes, nothing more is said.
    EXPECT_EQ(window->CurrentTab(), MainWindow::Tab::Battles);
    EXPECT_EQ(TempDir::Read(tmp / "in/Turn07.zip"), "last turn");

    desktop.shown.clear();
    window->config.Current().SetIncomingDir("");
    const auto result = Drop(window->catalogueTabs, {Attachment("Turn08.zip", "next turn")});
    EXPECT_TRUE(result.dropped);
    EXPECT_SOON_EQ(
        desktop.Errors(),
        (std::vector<std::string> {
            "Turn08.zip was not received: no incoming folder is set for this game. Choose one under Options."}));
    EXPECT_EQ(window->CurrentTab(), MainWindow::Tab::Battles);

    // A drag without addresses (a piece of text) is not taken at all.
    QMimeData text;
    text.setText(QStringLiteral("Turn09.zip"));
    QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction, &text, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(window->catalogueList->viewport(), &enter);
    EXPECT_FALSE(enter.isAccepted());
}
