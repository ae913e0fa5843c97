// Every button of the windows by the keyboard: each shortcut acts as the button's click, the note
// being typed saved first, and none takes a key the note needs for editing.
#include "app/CommentStore.h"
#include "base/ProgramDir.h"
#include "support/ConfigFile.h"
#include "support/Modal.h"
#include "support/ScriptedDesktop.h"
#include "support/TempDir.h"
#include "ui/FlatButton.h"
#include "ui/GameSelectDialog.h"
#include "ui/ListBox.h"
#include "ui/MainWindow.h"
#include "ui/NotesEdit.h"
#include "ui/OptionsDialog.h"
#include "ui/RadioGroup.h"
#include "ui/TabStrip.h"

#include <QAbstractButton>
#include <QAccessible>
#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QTest>
#include <gtest/gtest.h>

#include <filesystem>
#include <set>

namespace fs = std::filesystem;

namespace {

// Shortcuts act in the active window; a newly shown window becomes active a moment later.
void WaitUntilActive(QWidget* window)
{
    for (int tries = 0; tries < 200 && QApplication::activeWindow() != window; ++tries) {
        window->activateWindow();
        QTest::qWait(5);
    }
    ASSERT_EQ(QApplication::activeWindow(), window);
}

// A dialog the keys should have closed is closed all the same, so that a failure does not hang.
void EnsureClosed(QDialog* dialog)
{
    if (dialog->isVisible()) {
        ADD_FAILURE() << "the keys left the dialog open";
        dialog->reject();
    }
}

class KeyboardTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        base::SetProgramDirectory(tmp / "prog");
        WriteConfig(tmp / "prog", tmp / "game", tmp / "out", tmp / "in");
        TempDir::Write(tmp / "game/a.bte", BattleText("1 0", "Alpha", "0 6", "1"));
        TempDir::Write(tmp / "in/Turn07.zip", "PK");
        fs::create_directories(tmp / "out");
        window = std::make_unique<MainWindow>();
        window->zipComponent.SetDLLDirectory(TURNEX_BIN_DIR);
        window->show();
        WaitUntilActive(window.get());
    }
    void SelectBattle()
    {
        // Back from a dialog, as the desktop gives the window the keyboard again.
        WaitUntilActive(window.get());
        QTest::mouseClick(window->catalogueList->viewport(), Qt::LeftButton, {},
                          window->catalogueList->visualItemRect(window->catalogueList->item(0)).center());
        ASSERT_EQ(window->filenameEdit->text(), QStringLiteral("a.bte"));
    }
    void TypeNote(const QString& text)
    {
        // The window gets the keyboard back from a closed dialog a moment later: wait for it.
        for (int tries = 0; tries < 100 && !window->notesEdit->hasFocus(); ++tries) {
            window->activateWindow();
            window->notesEdit->setFocus();
            QTest::qWait(5);
        }
        ASSERT_TRUE(window->notesEdit->hasFocus());
        window->notesEdit->selectAll();
        QTest::keyClicks(window->notesEdit, text);
    }
    // The keys go where the keyboard focus is, as a user's would; deferred handlers run after.
    void Key(const QKeySequence& key)
    {
        QWidget* target = QApplication::focusWidget() ? QApplication::focusWidget() : window.get();
        QTest::keySequence(target, key);
        QCoreApplication::processEvents();
    }

    TempDir tmp;
    ScopedWinePrefix prefix {tmp / "wine"};
    ScriptedDesktop desktop;
    std::unique_ptr<MainWindow> window;
};

QList<FlatButton*> ButtonsOf(QWidget* window) { return window->findChildren<FlatButton*>(); }

}  // namespace

TEST_F(KeyboardTest, EveryButtonHasItsOwnShortcutNamedInItsTooltip)
{
    std::set<QKeySequence> taken;
    for (QWidget* owner : std::initializer_list<QWidget*> {window.get(), new OptionsDialog(window.get()),
                                                           new GameSelectDialog(window.get())}) {
        taken.clear();
        for (FlatButton* button : ButtonsOf(owner)) {
            if (button->window() != owner)
                continue;  // a dialog's, counted with the dialog
            SCOPED_TRACE(button->objectName().toStdString());
            ASSERT_FALSE(button->Shortcuts().isEmpty());
            for (const QKeySequence& key : button->Shortcuts())
                EXPECT_TRUE(taken.insert(key).second) << key.toString().toStdString();
            // The hint stays as it was; the keys follow it.
            EXPECT_TRUE(button->toolTip().startsWith(button->Hint()));
            EXPECT_TRUE(button->toolTip().contains(button->ShortcutText()));
            EXPECT_EQ(button->focusPolicy(), Qt::NoFocus);
            const QStringList bindings =
                QAccessible::queryAccessibleInterface(button)->actionInterface()->keyBindingsForAction(
                    QAccessibleActionInterface::pressAction());
            EXPECT_EQ(bindings.join(QStringLiteral(", ")), button->ShortcutText());
        }
    }
    EXPECT_EQ(window->refreshButton->toolTip(), QStringLiteral("Refresh (F5, Alt+R)"));
    EXPECT_EQ(window->catalogueTabs->focusPolicy(), Qt::NoFocus);
}

TEST_F(KeyboardTest, TabShortcutsPickTabsAsClicksDo)
{
    SelectBattle();
    TypeNote(QStringLiteral("left on a tab change"));
    Key(QKeySequence(Qt::CTRL | Qt::Key_3));
    EXPECT_EQ(window->catalogueTabs->currentIndex(), 2);
    EXPECT_EQ(window->catalogueList->item(0)->text(), QStringLiteral("Turn07.zip"));
    EXPECT_EQ(window->compressButton->Caption(), QStringLiteral("Decompress"));
    EXPECT_EQ(app::FindComment("a.bte"), std::optional<std::string>("left on a tab change"));
    Key(QKeySequence(Qt::CTRL | Qt::Key_Tab));  // after the last comes the first
    EXPECT_EQ(window->catalogueTabs->currentIndex(), 0);
    EXPECT_EQ(window->filenameEdit->text(), QStringLiteral("a.bte"));  // as a click on "Battles" shows
    Key(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Tab));
    EXPECT_EQ(window->catalogueTabs->currentIndex(), 2);
    Key(QKeySequence(Qt::CTRL | Qt::Key_2));
    EXPECT_EQ(window->catalogueTabs->currentIndex(), 1);
    EXPECT_FALSE(window->compressButton->Enabled());
    // A greyed button's shortcut does what its click does: nothing.
    Key(QKeySequence(Qt::ALT | Qt::Key_P));
    EXPECT_TRUE(desktop.shown.empty());
    EXPECT_EQ(window->catalogueTabs->tabToolTip(0), QStringLiteral("Ctrl+1"));
}

TEST_F(KeyboardTest, OptionsByTheKeyboard)
{
    fs::create_directories(tmp / "elsewhere");
    desktop.folderAnswers = {tmp / "elsewhere"};
    WhenModal<OptionsDialog>([this](OptionsDialog* d) {
        WaitUntilActive(d);
        QTest::keySequence(d, QKeySequence(Qt::ALT | Qt::Key_G));
        QTest::keySequence(d, QKeySequence(Qt::ALT | Qt::Key_U));
        QTest::keySequence(d, QKeySequence(Qt::ALT | Qt::Key_I));
        EXPECT_EQ(d->gameDirEdit->text().toStdString(), tmp / "elsewhere");
        QTest::keyClick(d, Qt::Key_Return);
        EnsureClosed(d);
    });
    Key(QKeySequence(Qt::ALT | Qt::Key_O));
    const auto browsers = desktop.Of(Shown::Folder);
    ASSERT_EQ(browsers.size(), 3u);
    EXPECT_EQ(browsers[0].text, "Select game directory: ");
    EXPECT_EQ(browsers[1].text, "Select outcoming directory: ");
    EXPECT_EQ(browsers[2].text, "Select incoming directory: ");
    EXPECT_EQ(window->config.GameDir, tmp / "elsewhere");  // Return is OK: saved and applied

    WhenModal<OptionsDialog>([](OptionsDialog* d) {
        WaitUntilActive(d);
        d->gameDirEdit->setText(QStringLiteral("changed"));
        QTest::keyClick(d, Qt::Key_Escape);
        EnsureClosed(d);
    });
    Key(QKeySequence(Qt::ALT | Qt::Key_O));
    EXPECT_EQ(window->config.GameDir, tmp / "elsewhere");  // Escape is Cancel
}

TEST_F(KeyboardTest, SelectGameByTheKeyboard)
{
    WhenModal<GameSelectDialog>([](GameSelectDialog* d) {
        WaitUntilActive(d);
        d->gameGroup->Item(2)->click();
        QTest::keyClick(d, Qt::Key_Enter);
        EnsureClosed(d);
    });
    Key(QKeySequence(Qt::ALT | Qt::Key_S));
    EXPECT_EQ(window->config.CurrentGame, 2);
    EXPECT_EQ(window->gameTitleLabel->text(), QStringLiteral("Jade Tide"));
}

TEST_F(KeyboardTest, TabMovesBetweenTheListAndTheNote)
{
    SelectBattle();
    TypeNote(QStringLiteral("typed"));
    Key(QKeySequence(Qt::Key_Tab));
    EXPECT_TRUE(window->catalogueList->hasFocus());
    EXPECT_EQ(app::FindComment("a.bte"), std::optional<std::string>("typed"));
    Key(QKeySequence(Qt::Key_Tab));
    EXPECT_TRUE(window->notesEdit->hasFocus());
}

// The help's table of keys says what the buttons do.
TEST_F(KeyboardTest, TheHelpListsEveryButtonsKeys)
{
    const QString page = QString::fromStdString(TempDir::Read(std::string(TURNEX_BIN_DIR) + "/help/buttons.html"));
    const qsizetype section = page.indexOf(QStringLiteral("<a name=\"keyboard\">"));
    ASSERT_GE(section, 0);
    for (FlatButton* button : ButtonsOf(window.get())) {
        SCOPED_TRACE(button->Caption().toStdString());
        const qsizetype row = page.indexOf(QStringLiteral("<tr><td>") + button->Caption(), section);
        ASSERT_GE(row, 0);
        const QString cells = page.mid(row, page.indexOf(QStringLiteral("</tr>"), row) - row);
        for (const QKeySequence& key : button->Shortcuts())
            EXPECT_TRUE(cells.contains(key == QKeySequence(Qt::Key_Delete) ? QStringLiteral("Delete")
                                                                           : key.toString(QKeySequence::NativeText)))
                << key.toString().toStdString();
    }
}
