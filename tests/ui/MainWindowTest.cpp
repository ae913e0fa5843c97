#include "ui/MainWindow.h"
#include "base/ProgramDir.h"
#include "ui/QtDesktop.h"
#include "support/ScriptedDesktop.h"
#include "support/TempDir.h"
#include "ui/FlatButton.h"
#include "ui/ListBox.h"
#include "ui/NotesEdit.h"
#include "ui/TabStrip.h"

#include <QAccessible>
#include <QFileDialog>
#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTimer>
#include <gtest/gtest.h>

#include <filesystem>

namespace fs = std::filesystem;

namespace {

class MainWindowTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        base::SetProgramDirectory(tmp / "prog");
        fs::create_directories(tmp / "prog");
    }
    std::unique_ptr<MainWindow> Start() { return std::make_unique<MainWindow>(); }
    TempDir tmp;
    ScopedWinePrefix prefix {tmp / "wine"};
    ScriptedDesktop desktop;
};

struct Expected {
    const char* name;
    QRect geometry;  // width/height 0: not checked
    const char* text;
};

QString TextOf(QWidget* w)
{
    if (auto* b = qobject_cast<FlatButton*>(w))
        return b->Caption();
    if (auto* l = qobject_cast<QLabel*>(w))
        return l->text();
    if (auto* e = qobject_cast<QLineEdit*>(w))
        return e->text();
    return {};
}

}  // namespace

TEST_F(MainWindowTest, LayoutNamesAndTexts)
{
    auto window = Start();
    EXPECT_EQ(window->size(), QSize(640, 480));
    EXPECT_EQ(window->clientArea->geometry(), QRect(1, 1, 638, 478));
    EXPECT_TRUE(window->windowFlags() & Qt::FramelessWindowHint);
    EXPECT_EQ(window->windowTitle(), QStringLiteral("Kestrel Series - Turnmail manager"));
    EXPECT_EQ(QApplication::applicationDisplayName(), QStringLiteral("Turnmail save file manager - KS"));

    const Expected table[] = {
        {"listTitleLabel", {16, 86, 0, 0}, "Turnmail games"},
        {"filenameLabel", {264, 414, 0, 0}, "Filename"},
        {"visibilityLabel", {264, 366, 0, 0}, "Visibility"},
        {"lengthLabel", {264, 318, 0, 0}, "Length"},
        {"turnLabel", {264, 270, 0, 0}, "Current turn"},
        {"sideLabel", {264, 222, 0, 0}, "Playing side"},
        {"notesLabel", {264, 86, 0, 0}, "User comments"},
        {"exitButton", {496, 436, 97, 23}, "Exit"},
        {"optionsButton", {496, 332, 97, 23}, "Options"},
        {"refreshButton", {496, 260, 97, 23}, "Refresh"},
        {"compressButton", {496, 100, 97, 23}, "Compress"},
        {"copyButton", {496, 132, 97, 23}, "Copy"},
        {"moveButton", {496, 164, 97, 23}, "Move"},
        {"deleteButton", {496, 196, 97, 23}, "Delete"},
        {"helpButton", {496, 228, 97, 23}, "Help"},
        {"runGameButton", {496, 404, 97, 23}, "Run Game"},
        {"selectGameButton", {496, 300, 97, 23}, "Select Game"},
        {"sendMailButton", {496, 372, 97, 23}, "Send mail"},
        {"gameTitleLabel", {245, 14, 0, 0}, "Iron Plain"},
        {"catalogueList", {16, 120, 233, 337}, ""},
        {"filenameEdit", {264, 436, 177, 21}, ""},
        {"catalogueTabs", {17, 103, 230, 17}, ""},
        {"visibilityEdit", {264, 388, 177, 21}, ""},
        {"lengthEdit", {264, 340, 177, 21}, ""},
        {"turnEdit", {264, 292, 177, 21}, ""},
        {"sideEdit", {264, 244, 177, 21}, ""},
        {"notesEdit", {264, 104, 177, 113}, ""},
    };
    for (const auto& e : table) {
        SCOPED_TRACE(e.name);
        auto* w = window->findChild<QWidget*>(QString::fromLatin1(e.name));
        ASSERT_NE(w, nullptr);
        EXPECT_EQ(w->pos(), e.geometry.topLeft());
        if (e.geometry.width() > 0) {
            EXPECT_EQ(w->size(), e.geometry.size());
        }
        EXPECT_EQ(TextOf(w), QString::fromLatin1(e.text));
        EXPECT_EQ(w->parentWidget(), window->clientArea);
    }
    const std::pair<FlatButton*, const char*> hints[] = {{window->exitButton, "Exit"},
                                                         {window->compressButton, "ZIP"},
                                                         {window->runGameButton, "Run selected game"},
                                                         {window->selectGameButton, "Select KS game"},
                                                         {window->sendMailButton, "Open new message with attachment"}};
    for (auto [b, hint] : hints)
        EXPECT_EQ(b->Hint(), QString::fromLatin1(hint));
    EXPECT_EQ(window->exitButton->FontColor(), QColor(255, 0, 0));
    EXPECT_EQ(window->optionsButton->FontColor(), QColor(0, 255, 255));
    EXPECT_EQ(window->runGameButton->FontColor(), QColor(255, 255, 0));
    EXPECT_EQ(window->compressButton->FontColor(), QColor(0, 255, 0));
    EXPECT_EQ(window->refreshButton->Color(), QColor(51, 51, 51));
    EXPECT_EQ(window->refreshButton->RaiseColor(), QColor(102, 102, 102));
    EXPECT_EQ(window->gameTitleLabel->font().pixelSize(), 17);
    EXPECT_EQ(window->listTitleLabel->font().family(), QStringLiteral("Verdana"));
    EXPECT_EQ(window->filenameEdit->palette().color(QPalette::Base), QColor(Qt::black));
    EXPECT_EQ(window->filenameEdit->palette().color(QPalette::Text), QColor(255, 255, 0));
    EXPECT_TRUE(window->filenameEdit->isReadOnly());
    EXPECT_EQ(window->filenameEdit->focusPolicy(), Qt::NoFocus);
    EXPECT_EQ(window->catalogueTabs->count(), 3);
    EXPECT_EQ(window->catalogueTabs->tabText(1), QStringLiteral("Outcoming"));
    EXPECT_EQ(window->catalogueTabs->currentIndex(), 0);

    // Every control shows with the window; the fields and the note keep their own fonts.
    window->show();
    for (const auto& e : table)
        EXPECT_TRUE(window->findChild<QWidget*>(QString::fromLatin1(e.name))->isVisible()) << e.name;
    for (QWidget* field :
         std::initializer_list<QWidget*> {window->filenameEdit, window->visibilityEdit, window->lengthEdit,
                                          window->turnEdit, window->sideEdit, window->notesEdit}) {
        SCOPED_TRACE(field->objectName().toStdString());
        EXPECT_EQ(field->font().family(), QStringLiteral("Verdana"));
        EXPECT_EQ(field->font().pixelSize(), 11);
        EXPECT_EQ(field->font().bold(), field != window->notesEdit);
    }
}

TEST_F(MainWindowTest, ControlsAreReachableThroughAccessibility)
{
    auto window = Start();
    window->show();
    QAccessibleInterface* button = QAccessible::queryAccessibleInterface(window->helpButton);
    ASSERT_NE(button, nullptr);
    EXPECT_EQ(button->role(), QAccessible::Button);
    EXPECT_EQ(button->text(QAccessible::Name), QStringLiteral("Help"));
    QAccessibleInterface* label = QAccessible::queryAccessibleInterface(window->gameTitleLabel);
    EXPECT_EQ(label->text(QAccessible::Name), QStringLiteral("Iron Plain"));
    window->visibilityEdit->setText(QStringLiteral("3"));
    QAccessibleInterface* edit = QAccessible::queryAccessibleInterface(window->visibilityEdit);
    EXPECT_EQ(edit->role(), QAccessible::EditableText);
    EXPECT_EQ(edit->text(QAccessible::Name), QStringLiteral("Visibility"));
    EXPECT_EQ(edit->text(QAccessible::Value), QStringLiteral("3"));
    // The press action of a button runs its handler.
    button->actionInterface()->doAction(QAccessibleActionInterface::pressAction());
    ASSERT_FALSE(desktop.shown.empty());
    EXPECT_EQ(desktop.shown.back().kind, Shown::Help);
}

TEST_F(MainWindowTest, FirstStartAndTheLastFlaggedRecord)
{
    {
        auto window = Start();
        EXPECT_TRUE(desktop.Errors().empty());
        EXPECT_EQ(window->gameTitleLabel->text(), QStringLiteral("Iron Plain"));
        EXPECT_EQ(fs::file_size(tmp / "prog/turnex.dat"), 2313u);
    }
    std::string file = TempDir::Read(tmp / "prog/turnex.dat");
    file[770] = 0;
    file[1541] = 1;
    file[2312] = 1;
    TempDir::Write(tmp / "prog/turnex.dat", file);
    auto window = Start();
    EXPECT_EQ(window->gameTitleLabel->text(), QStringLiteral("Jade Tide"));
    EXPECT_EQ(window->config.CurrentGame, 2);
}

TEST_F(MainWindowTest, UncreatableConfigurationStillOpensTheWindow)
{
    const std::string dir = tmp / "not-there";
    base::SetProgramDirectory(dir);
    auto window = Start();
    ASSERT_EQ(desktop.Errors().size(), 1u);
    EXPECT_EQ(desktop.Errors()[0], "Cannot create file " + dir + "/turnex.dat.");
    EXPECT_TRUE(window->gameTitleLabel->text().isEmpty());
    EXPECT_EQ(window->catalogueList->count(), 0);
    EXPECT_EQ(window->config.CurrentGame, 0);
    EXPECT_TRUE(window->config.GameDir.empty());
}

TEST_F(MainWindowTest, LocationOfAnotherTypeIsReportedAndTheNextStartRecreates)
{
    TempDir::Write(tmp / "wine/user.reg",
                   "WINE REGISTRY Version 2\n[Software\\\\Vantaris\\\\Jade Tide] 1\n\"location\"=hex:01,02\n");
    {
        auto window = Start();
        ASSERT_EQ(desktop.Errors().size(), 1u);
        // "'" sorts below ".", so the box adds no full stop.
        EXPECT_EQ(desktop.Errors()[0], "Invalid data type for 'location'");
        EXPECT_TRUE(window->gameTitleLabel->text().isEmpty());
    }
    EXPECT_FALSE(fs::exists(tmp / "prog/turnex.dat"));
    TempDir::Write(tmp / "wine/user.reg",
                   "WINE REGISTRY Version 2\n[Software\\\\Vantaris\\\\Jade Tide] 1\n\"location\"=\"c:\\\\jade\"\n");
    auto window = Start();
    EXPECT_EQ(desktop.Errors().size(), 1u);
    EXPECT_EQ(fs::file_size(tmp / "prog/turnex.dat"), 2313u);
    EXPECT_EQ(window->config.Profile(2).GameDir(), "c:\\jade");
}

TEST_F(MainWindowTest, ExitClosesWithoutSaving)
{
    auto window = Start();
    window->show();
    const auto before = TempDir::Read(tmp / "prog/turnex.dat");
    window->config.Current().SetGameDir("changed");
    window->onExitClicked();
    EXPECT_FALSE(window->isVisible());
    EXPECT_EQ(TempDir::Read(tmp / "prog/turnex.dat"), before);
}

TEST(HelpViewer, ShowsThePagesOrSaysItCannotFindThem)
{
    TempDir tmp;
    TempDir::Write(tmp / "help/index.html", "<html><body><h1>turnex help</h1></body></html>");
    ui::QtDesktop desktop;
    desktop.ShowHelp(tmp / "help/index.html");
    ASSERT_NE(desktop.HelpWindow(), nullptr);
    EXPECT_TRUE(desktop.HelpWindow()->isVisible());
    desktop.HelpWindow()->close();

    QString seen;
    QTimer::singleShot(0, [&] {
        if (QWidget* box = QApplication::activeModalWidget()) {
            seen = box->findChild<QLabel*>(QStringLiteral("qt_msgbox_label"))->text();
            box->close();
        }
    });
    desktop.ShowHelp(tmp / "nothing/index.html");
    EXPECT_TRUE(seen.startsWith(QStringLiteral("Cannot find the help file")));
}

TEST(FolderBrowser, ChoosesAFolderOrNothing)
{
    TempDir tmp;
    std::filesystem::create_directories(tmp / "Out");
    ui::QtDesktop desktop;
    QTimer::singleShot(0, [&] {
        auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
        ASSERT_NE(dialog, nullptr);
        EXPECT_EQ(dialog->windowTitle(), QStringLiteral("MOVE - Select destination: "));
        EXPECT_EQ(dialog->windowModality(), Qt::ApplicationModal);
        dialog->setDirectory(QString::fromStdString(tmp.path()));
        dialog->selectFile(QStringLiteral("Out"));
        QMetaObject::invokeMethod(dialog, "accept");
    });
    EXPECT_EQ(desktop.BrowseForFolder("MOVE - Select destination: "), std::optional<std::string>(tmp / "Out"));
    QTimer::singleShot(0, [] { QApplication::activeModalWidget()->close(); });
    EXPECT_EQ(desktop.BrowseForFolder("COPY - Select destination: "), std::nullopt);
}
