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
    void SetUp() override { base::SetProgramDirectory(tmp / "prog"); fs::create_directories(tmp / "prog"); }
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
    auto form = Start();
    EXPECT_EQ(form->size(), QSize(640, 480));
    EXPECT_EQ(form->Client->geometry(), QRect(1, 1, 638, 478));
    EXPECT_TRUE(form->windowFlags() & Qt::FramelessWindowHint);
    EXPECT_EQ(form->windowTitle(), QStringLiteral("Kestrel Series - Turnmail manager"));
    EXPECT_EQ(QApplication::applicationDisplayName(), QStringLiteral("Turnmail save file manager - KS"));

    const Expected table[] = {
        {"Label1", {16, 86, 0, 0}, "Turnmail games"},
        {"Label2", {264, 414, 0, 0}, "Filename"},
        {"Label3", {264, 366, 0, 0}, "Visibility"},
        {"Label4", {264, 318, 0, 0}, "Length"},
        {"Label5", {264, 270, 0, 0}, "Current turn"},
        {"Label6", {264, 222, 0, 0}, "Playing side"},
        {"Label7", {264, 86, 0, 0}, "User comments"},
        {"FlatButton1", {496, 436, 97, 23}, "Exit"},
        {"FlatButton2", {496, 332, 97, 23}, "Options"},
        {"FlatButton3", {496, 260, 97, 23}, "Refresh"},
        {"FlatButton4", {496, 100, 97, 23}, "Compress"},
        {"FlatButton5", {496, 132, 97, 23}, "Copy"},
        {"FlatButton6", {496, 164, 97, 23}, "Move"},
        {"FlatButton7", {496, 196, 97, 23}, "Delete"},
        {"FlatButton8", {496, 228, 97, 23}, "Help"},
        {"FlatButton9", {496, 404, 97, 23}, "Run Game"},
        {"FlatButton10", {496, 300, 97, 23}, "Select Game"},
        {"FlatButton11", {496, 372, 97, 23}, "Send mail"},
        {"Label8", {245, 14, 0, 0}, "Iron Plain"},
        {"ListBox1", {16, 120, 233, 337}, ""},
        {"Edit1", {264, 436, 177, 21}, ""},
        {"TabSet1", {17, 103, 230, 17}, ""},
        {"Edit2", {264, 388, 177, 21}, ""},
        {"Edit3", {264, 340, 177, 21}, ""},
        {"Edit4", {264, 292, 177, 21}, ""},
        {"Edit5", {264, 244, 177, 21}, ""},
        {"Memo1", {264, 104, 177, 113}, ""},
    };
    for (const auto& e : table) {
        SCOPED_TRACE(e.name);
        auto* w = form->findChild<QWidget*>(QString::fromLatin1(e.name));
        ASSERT_NE(w, nullptr);
        EXPECT_EQ(w->pos(), e.geometry.topLeft());
        if (e.geometry.width() > 0) {
            EXPECT_EQ(w->size(), e.geometry.size());
        }
        EXPECT_EQ(TextOf(w), QString::fromLatin1(e.text));
        EXPECT_EQ(w->parentWidget(), form->Client);
    }
    const std::pair<FlatButton*, const char*> hints[] = {
        {form->FlatButton1, "Exit"}, {form->FlatButton4, "ZIP"}, {form->FlatButton9, "Run selected game"},
        {form->FlatButton10, "Select KS game"}, {form->FlatButton11, "Open new message with attachment"}};
    for (auto [b, hint] : hints)
        EXPECT_EQ(b->toolTip(), QString::fromLatin1(hint));
    EXPECT_EQ(form->FlatButton1->FontColor(), QColor(255, 0, 0));
    EXPECT_EQ(form->FlatButton2->FontColor(), QColor(0, 255, 255));
    EXPECT_EQ(form->FlatButton9->FontColor(), QColor(255, 255, 0));
    EXPECT_EQ(form->FlatButton4->FontColor(), QColor(0, 255, 0));
    EXPECT_EQ(form->FlatButton3->Color(), QColor(51, 51, 51));
    EXPECT_EQ(form->FlatButton3->RaiseColor(), QColor(102, 102, 102));
    EXPECT_EQ(form->Label8->font().pixelSize(), 17);
    EXPECT_EQ(form->Label1->font().family(), QStringLiteral("Verdana"));
    EXPECT_EQ(form->Edit1->palette().color(QPalette::Base), QColor(Qt::black));
    EXPECT_EQ(form->Edit1->palette().color(QPalette::Text), QColor(255, 255, 0));
    EXPECT_TRUE(form->Edit1->isReadOnly());
    EXPECT_EQ(form->Edit1->focusPolicy(), Qt::NoFocus);
    EXPECT_EQ(form->TabSet1->count(), 3);
    EXPECT_EQ(form->TabSet1->tabText(1), QStringLiteral("Outcoming"));
    EXPECT_EQ(form->TabSet1->currentIndex(), 0);
}

TEST_F(MainWindowTest, ControlsAreReachableThroughAccessibility)
{
    auto form = Start();
    form->show();
    QAccessibleInterface* button = QAccessible::queryAccessibleInterface(form->FlatButton8);
    ASSERT_NE(button, nullptr);
    EXPECT_EQ(button->role(), QAccessible::Button);
    EXPECT_EQ(button->text(QAccessible::Name), QStringLiteral("Help"));
    QAccessibleInterface* label = QAccessible::queryAccessibleInterface(form->Label8);
    EXPECT_EQ(label->text(QAccessible::Name), QStringLiteral("Iron Plain"));
    form->Edit2->setText(QStringLiteral("3"));
    QAccessibleInterface* edit = QAccessible::queryAccessibleInterface(form->Edit2);
    EXPECT_EQ(edit->role(), QAccessible::EditableText);
    EXPECT_EQ(edit->text(QAccessible::Name), QStringLiteral("Edit2"));
    EXPECT_EQ(edit->text(QAccessible::Value), QStringLiteral("3"));
    // The press action of a button runs its handler.
    button->actionInterface()->doAction(QAccessibleActionInterface::pressAction());
    ASSERT_FALSE(desktop.shown.empty());
    EXPECT_EQ(desktop.shown.back().kind, Shown::Help);
}

TEST_F(MainWindowTest, FirstStartAndTheLastFlaggedRecord)
{
    {
        auto form = Start();
        EXPECT_TRUE(desktop.Errors().empty());
        EXPECT_EQ(form->Label8->text(), QStringLiteral("Iron Plain"));
        EXPECT_EQ(fs::file_size(tmp / "prog/turnex.dat"), 2313u);
    }
    std::string file = TempDir::Read(tmp / "prog/turnex.dat");
    file[770] = 0;
    file[1541] = 1;
    file[2312] = 1;
    TempDir::Write(tmp / "prog/turnex.dat", file);
    auto form = Start();
    EXPECT_EQ(form->Label8->text(), QStringLiteral("Jade Tide"));
    EXPECT_EQ(form->Config.CurrentGame, 2);
}

TEST_F(MainWindowTest, UncreatableConfigurationStillOpensTheWindow)
{
    const std::string dir = tmp / "not-there";
    base::SetProgramDirectory(dir);
    auto form = Start();
    ASSERT_EQ(desktop.Errors().size(), 1u);
    EXPECT_EQ(desktop.Errors()[0], "Cannot create file " + dir + "/turnex.dat.");
    EXPECT_TRUE(form->Label8->text().isEmpty());
    EXPECT_EQ(form->ListBox1->count(), 0);
    EXPECT_EQ(form->Config.CurrentGame, 0);
    EXPECT_TRUE(form->Config.GameDir.empty());
}

TEST_F(MainWindowTest, LocationOfAnotherTypeIsReportedAndTheNextStartRecreates)
{
    TempDir::Write(tmp / "wine/user.reg",
                   "WINE REGISTRY Version 2\n[Software\\\\Vantaris\\\\Jade Tide] 1\n\"location\"=hex:01,02\n");
    {
        auto form = Start();
        ASSERT_EQ(desktop.Errors().size(), 1u);
        // "'" sorts below ".", so the box adds no full stop.
        EXPECT_EQ(desktop.Errors()[0], "Invalid data type for 'location'");
        EXPECT_TRUE(form->Label8->text().isEmpty());
    }
    EXPECT_FALSE(fs::exists(tmp / "prog/turnex.dat"));
    TempDir::Write(tmp / "wine/user.reg",
                   "WINE REGISTRY Version 2\n[Software\\\\Vantaris\\\\Jade Tide] 1\n\"location\"=\"c:\\\\jade\"\n");
    auto form = Start();
    EXPECT_EQ(desktop.Errors().size(), 1u);
    EXPECT_EQ(fs::file_size(tmp / "prog/turnex.dat"), 2313u);
    EXPECT_EQ(form->Config.Profile(2).GameDir(), "c:\\jade");
}

TEST_F(MainWindowTest, ExitClosesWithoutSaving)
{
    auto form = Start();
    form->show();
    const auto before = TempDir::Read(tmp / "prog/turnex.dat");
    form->Config.Current().SetGameDir("changed");
    form->Button1Click();
    EXPECT_FALSE(form->isVisible());
    EXPECT_EQ(TempDir::Read(tmp / "prog/turnex.dat"), before);
}

TEST(HelpViewer, ShowsThePagesOrSaysItCannotFindThem)
{
    TempDir tmp;
    TempDir::Write(tmp / "help/index.html", "<html><body><h1>turnex help</h1></body></html>");
    base::QtDesktop desktop;
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
    base::QtDesktop desktop;
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
