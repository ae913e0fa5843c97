// The main window and its dialogs as assistive technology finds them: names a sighted user reads,
// the right roles, labels tied to their fields, presses that return before a dialog opens.
#include "app/CommentStore.h"
#include "base/ProgramDir.h"
#include "support/ConfigFile.h"
#include "support/ModalCloser.h"
#include "support/ScriptedDesktop.h"
#include "support/TempDir.h"
#include "ui/FlatButton.h"
#include "ui/GameSelectDialog.h"
#include "ui/ListBox.h"
#include "ui/MainWindow.h"
#include "ui/ModChoiceDialog.h"
#include "ui/NotesEdit.h"
#include "ui/OptionsDialog.h"
#include "ui/PasswordDialog.h"
#include "ui/RadioGroup.h"
#include "ui/TabStrip.h"

#include <QAccessible>
#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <gtest/gtest.h>

#include <filesystem>

namespace fs = std::filesystem;

namespace {

class AccessibilityTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        base::SetProgramDirectory(tmp / "prog");
        WriteConfig(tmp / "prog", tmp / "game", tmp / "out", tmp / "in");
        TempDir::Write(tmp / "game/a.bte", BattleText("1 0", "Alpha", "0 6", "1"));
        TempDir::Write(tmp / "in/Turn07.zip", "PK");
        TempDir::Write(tmp / "game/iron plain#.exe", "");
        fs::create_directories(tmp / "out");
        window = std::make_unique<MainWindow>();
        window->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));
    }
    static QAccessibleInterface* Of(QObject* object) { return QAccessible::queryAccessibleInterface(object); }
    static QString NameOf(QObject* object) { return Of(object)->text(QAccessible::Name); }
    static void Press(QObject* object)
    {
        Of(object)->actionInterface()->doAction(QAccessibleActionInterface::pressAction());
    }
    // The labels assistive technology reports as naming a control.
    static QStringList LabelsOf(QObject* object)
    {
        QStringList labels;
        for (const auto& [other, relation] : Of(object)->relations(QAccessible::Label))
            labels << other->text(QAccessible::Name);
        return labels;
    }

    TempDir tmp;
    ScopedWinePrefix prefix {tmp / "wine"};
    ScriptedDesktop desktop;
    std::unique_ptr<MainWindow> window;
};

}  // namespace

TEST_F(AccessibilityTest, TheListAndTheRelabelledFieldsFollowTheTab)
{
    window->catalogueTabs->ClickTab(2);
    EXPECT_EQ(NameOf(window->catalogueList), QStringLiteral("Turnmail games: Incoming"));
    EXPECT_EQ(NameOf(window->filenameEdit), QStringLiteral("Filedate"));
    EXPECT_EQ(NameOf(window->visibilityEdit), QStringLiteral("Filesize"));
    EXPECT_EQ(LabelsOf(window->visibilityEdit), QStringList {"Filesize"});
    EXPECT_EQ(NameOf(window->compressButton), QStringLiteral("Decompress"));
    window->catalogueTabs->ClickTab(0);
    EXPECT_EQ(NameOf(window->catalogueList), QStringLiteral("Turnmail games: Battles"));
    EXPECT_EQ(NameOf(window->filenameEdit), QStringLiteral("Filename"));
    EXPECT_EQ(NameOf(window->visibilityEdit), QStringLiteral("Visibility"));
}

// Assistive technology selects a tab directly; the window must follow as for a click.
TEST_F(AccessibilityTest, PressingATabFillsItsListAsAClickDoes)
{
    QAccessibleInterface* tabs = Of(window->catalogueTabs);
    QAccessibleInterface* incoming = nullptr;
    for (int i = 0; i < tabs->childCount(); ++i)
        if (tabs->child(i)->text(QAccessible::Name) == QLatin1String("Incoming"))
            incoming = tabs->child(i);
    ASSERT_NE(incoming, nullptr);
    incoming->actionInterface()->doAction(QAccessibleActionInterface::pressAction());
    EXPECT_EQ(window->catalogueTabs->currentIndex(), 2);
    EXPECT_EQ(window->CurrentTab(), MainWindow::Tab::Incoming);
    ASSERT_EQ(window->catalogueList->count(), 1);
    EXPECT_EQ(window->catalogueList->item(0)->text(), QStringLiteral("Turn07.zip"));
    EXPECT_EQ(window->compressButton->Caption(), QStringLiteral("Decompress"));
    EXPECT_FALSE(window->notesEdit->isVisible());
}

TEST_F(AccessibilityTest, DialogButtonsReturnBeforeTheirDialogOpens)
{
    struct Case {
        FlatButton* button;
        const char* dialog;
    };
    for (const Case& c :
         {Case {window->optionsButton, "OptionsDialog"}, Case {window->selectGameButton, "GameSelectDialog"},
          Case {window->runGameButton, "ModChoiceDialog"}}) {
        SCOPED_TRACE(c.dialog);
        ModalCloser closer;
        Press(c.button);
        // Returned with nothing open; the dialog comes from the event loop.
        EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
        EXPECT_TRUE(closer.seen.isEmpty());
        QCoreApplication::processEvents();
        EXPECT_EQ(closer.seen, QStringList {QString::fromLatin1(c.dialog)});
    }
    // The outcomes are those of a click: Escape in the mod choice starts the mod.
    ASSERT_EQ(desktop.Of(Shown::Start).size(), 1u);
    EXPECT_EQ(desktop.Of(Shown::Start)[0].text, (tmp / "game") + "\\iron plain#.exe");
    EXPECT_TRUE(desktop.Errors().empty());
}

TEST_F(AccessibilityTest, ASecondPressWhileTheDialogIsUpIsIgnored)
{
    ModalCloser closer;
    closer.onOpen = [this](QDialog*) {
        // Assistive technology reaches past the modal dialog; the mouse could not.
        Press(window->optionsButton);
        Press(window->helpButton);
    };
    Press(window->optionsButton);
    Press(window->optionsButton);  // before the first has opened
    QCoreApplication::processEvents();
    QCoreApplication::processEvents();
    EXPECT_EQ(closer.seen, QStringList {"OptionsDialog"});
    EXPECT_TRUE(desktop.Of(Shown::Help).empty());
    // Once it has closed, the button works again.
    Press(window->optionsButton);
    QCoreApplication::processEvents();
    EXPECT_EQ(closer.seen, (QStringList {"OptionsDialog", "OptionsDialog"}));
}

TEST_F(AccessibilityTest, TheNoteIsSavedBeforeTheDeferredDialogOpens)
{
    QTest::mouseClick(window->catalogueList->viewport(), Qt::LeftButton, {},
                      window->catalogueList->visualItemRect(window->catalogueList->item(0)).center());
    ASSERT_EQ(window->filenameEdit->text(), QStringLiteral("a.bte"));
    // The note takes the focus once the window is active, a moment after it is shown.
    for (int tries = 0; tries < 200 && !window->notesEdit->hasFocus(); ++tries) {
        window->activateWindow();
        window->notesEdit->setFocus();
        QTest::qWait(5);
    }
    ASSERT_TRUE(window->notesEdit->hasFocus());
    QTest::keyClicks(window->notesEdit, QStringLiteral("bridge first"));
    std::optional<std::string> storedWhenOpen;
    ModalCloser closer;
    closer.onOpen = [&](QDialog*) { storedWhenOpen = app::FindComment("a.bte"); };
    Press(window->selectGameButton);
    QCoreApplication::processEvents();
    EXPECT_EQ(closer.seen, QStringList {"GameSelectDialog"});
    EXPECT_EQ(storedWhenOpen, std::optional<std::string>("bridge first"));
}

TEST_F(AccessibilityTest, DialogFieldsAndButtonsAreNamed)
{
    OptionsDialog options;
    EXPECT_EQ(NameOf(options.gameDirEdit), QStringLiteral("Game directory"));
    EXPECT_EQ(NameOf(options.outgoingEdit), QStringLiteral("Outcoming directory"));
    EXPECT_EQ(NameOf(options.incomingEdit), QStringLiteral("Incoming directory"));
    EXPECT_EQ(LabelsOf(options.incomingEdit), QStringList {"Incoming directory"});
    EXPECT_EQ(NameOf(options.browseGameDirButton), QStringLiteral("Choose game directory"));
    EXPECT_EQ(NameOf(options.browseOutgoingButton), QStringLiteral("Choose outcoming directory"));
    EXPECT_EQ(NameOf(options.browseIncomingButton), QStringLiteral("Choose incoming directory"));
    // The caption stays what the eye sees; the hint stays the description.
    EXPECT_EQ(options.browseIncomingButton->Caption(), QStringLiteral("..."));
    EXPECT_EQ(Of(options.browseIncomingButton)->text(QAccessible::Description),
              QStringLiteral("Change incomig directory"));
    EXPECT_EQ(NameOf(options.zipOverwriteGroup), QStringLiteral("Zip file overwrite"));
    EXPECT_EQ(NameOf(options.okButton), QStringLiteral("OK"));

    GameSelectDialog select;
    EXPECT_EQ(NameOf(select.gameGroup), QStringLiteral("Vantaris"));
    EXPECT_EQ(NameOf(select.cancelButton), QStringLiteral("Cancel"));

    PasswordDialog password;
    password.promptLabel->setText(QStringLiteral("Enter password for a.bte"));
    EXPECT_EQ(NameOf(password.okButton), QStringLiteral("OK"));
    EXPECT_EQ(NameOf(password.cancelButton), QStringLiteral("Cancel"));
    EXPECT_EQ(NameOf(password.passwordEdit), QStringLiteral("Enter password for a.bte"));
}
