#include "ui/MainWindow.h"
#include "ui/ModChoiceDialog.h"
#include "ui/OptionsDialog.h"
#include "ui/GameSelectDialog.h"
#include "base/ProgramDir.h"
#include "ui/QtDesktop.h"
#include "support/ConfigFile.h"
#include "support/Modal.h"
#include "support/ScriptedDesktop.h"
#include "support/TempDir.h"
#include "ui/FlatButton.h"
#include "ui/ListBox.h"
#include "ui/RadioGroup.h"
#include "ui/TabStrip.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sys/stat.h>

namespace fs = std::filesystem;

namespace {

// Scripted dialogs, but programs really start (through the fake wine on the PATH).
class StartingDesktop : public ScriptedDesktop {
public:
    std::string StartProgram(const std::string& file, const std::string& workDir) override
    {
        ScriptedDesktop::StartProgram(file, workDir);
        return real.StartProgram(file, workDir);
    }
    ui::QtDesktop real;
};

class DialogsTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        base::SetProgramDirectory(tmp / "prog");
        for (int g = 0; g < 3; ++g) {
            TempDir::Write(tmp / ("game" + std::to_string(g) + "/b.bte"),
                           BattleText("1 0", "Battle of game " + std::to_string(g), "0 6", "1"));
            TempDir::Write(tmp / ("out" + std::to_string(g) + "/o" + std::to_string(g) + ".zip"), "z");
        }
        WriteProfiles(1);
    }
    // Each game has its own folders; `current` is flagged.
    void WriteProfiles(size_t current, uint8_t rule = 1)
    {
        app::ConfigState s;
        for (size_t g = 0; g < 3; ++g) {
            auto p = s.Profile(g);
            p.SetGameDir(tmp / ("game" + std::to_string(g)));
            p.SetOutgoingDir(tmp / ("out" + std::to_string(g)));
            p.SetIncomingDir(tmp / ("in" + std::to_string(g)));
            p.SetZipOverwrite(rule);
            p.SetSelected(g == current);
        }
        TempDir::Write(tmp / "prog/turnex.dat",
                       std::string(reinterpret_cast<const char*>(s.Image.data()), s.Image.size()));
    }
    std::string ConfigFile() { return TempDir::Read(tmp / "prog/turnex.dat"); }
    // Zeroes turnex.dat on disk, keeping its size.
    void BlankConfigFile() { TempDir::Write(tmp / "prog/turnex.dat", std::string(app::kConfigSize, '\0')); }
    TempDir tmp;
    ScopedWinePrefix prefix {tmp / "wine"};
    StartingDesktop desktop;
};

void ClickFlat(FlatButton* b) { QTest::mouseClick(b, Qt::LeftButton, {}, QPoint(5, 5)); }
// Select Game, Run Game and Options run their handler from the event loop right after the click.
void ClickAndRun(FlatButton* b)
{
    ClickFlat(b);
    QCoreApplication::processEvents();
}

}  // namespace

TEST_F(DialogsTest, SelectAnotherGame)
{
    MainWindow window;
    window.show();
    ASSERT_EQ(window.gameTitleLabel->text(), QStringLiteral("Grey Coast"));
    window.catalogueTabs->ClickTab(1);
    window.filenameEdit->setText(QStringLiteral("details"));
    WhenModal<GameSelectDialog>([](GameSelectDialog* d) {
        EXPECT_EQ(d->gameGroup->ItemIndex(), 1);  // preset from the current game
        EXPECT_EQ(d->size(), QSize(250, 300));
        d->gameGroup->Item(2)->click();
        ClickFlat(d->okButton);
    });
    ClickAndRun(window.selectGameButton);
    const std::string file = ConfigFile();
    EXPECT_EQ(file[770], 0);
    EXPECT_EQ(file[1541], 0);
    EXPECT_EQ(file[2312], 1);
    EXPECT_EQ(window.gameTitleLabel->text(), QStringLiteral("Jade Tide"));
    EXPECT_EQ(window.config.GameDir, tmp / "game2");
    ASSERT_EQ(window.catalogueList->count(), 1);
    EXPECT_EQ(window.catalogueList->item(0)->text(), QStringLiteral("o2.zip"));  // still "Outcoming"
    EXPECT_TRUE(window.filenameEdit->text().isEmpty());
}

TEST_F(DialogsTest, ConfirmingTheCurrentGameStillRewritesAndRefills)
{
    MainWindow window;
    window.show();
    const std::string file = ConfigFile();
    // The disk no longer holds what the window does: only a rewrite brings the table back, and
    // the whole table goes, with what other records changed in memory.
    BlankConfigFile();
    window.config.Profile(0).SetOutgoingDir("changed in memory");
    fs::remove(tmp / "game1/b.bte");
    WhenModal<GameSelectDialog>([](GameSelectDialog* d) { ClickFlat(d->okButton); });
    ClickAndRun(window.selectGameButton);
    EXPECT_EQ(window.catalogueList->count(), 0);
    std::string expected = file;
    const std::string changed = std::string(1, 17) + "changed in memory";
    expected.replace(app::GameProfileLayout::OutgoingDir, changed.size(), changed);
    EXPECT_EQ(ConfigFile(), expected);
}

TEST_F(DialogsTest, CancelChangesNothing)
{
    MainWindow window;
    window.show();
    const auto before = fs::last_write_time(tmp / "prog/turnex.dat");
    const std::string file = ConfigFile();
    WhenModal<GameSelectDialog>([](GameSelectDialog* d) {
        d->gameGroup->Item(0)->click();
        d->reject();  // closed another way: Cancel
    });
    ClickAndRun(window.selectGameButton);
    EXPECT_EQ(ConfigFile(), file);
    EXPECT_EQ(fs::last_write_time(tmp / "prog/turnex.dat"), before);
    EXPECT_EQ(window.config.CurrentGame, 1);
    EXPECT_TRUE(window.config.Profile(1).Selected());
    EXPECT_FALSE(window.config.Profile(0).Selected());
}

TEST_F(DialogsTest, AFailedSaveLeavesTheWindowOnTheOldGame)
{
    MainWindow window;
    window.show();
    fs::remove(tmp / "prog/turnex.dat");
    WhenModal<GameSelectDialog>([](GameSelectDialog* d) {
        d->gameGroup->Item(0)->click();
        ClickFlat(d->okButton);
    });
    ClickAndRun(window.selectGameButton);
    EXPECT_EQ(desktop.Errors(), (std::vector<std::string> {"Cannot open file " + (tmp / "prog/turnex.dat") + "."}));
    EXPECT_EQ(window.config.CurrentGame, 0);
    EXPECT_TRUE(window.config.Profile(0).Selected());
    EXPECT_FALSE(window.config.Profile(1).Selected());
    EXPECT_EQ(window.gameTitleLabel->text(), QStringLiteral("Grey Coast"));
    EXPECT_EQ(window.config.GameDir, tmp / "game1");
}

namespace {

// A fake wine that records its arguments and working directory.
std::string InstallFakeWine(TempDir& tmp)
{
    const std::string bin = tmp / "bin";
    fs::create_directories(bin);
    const std::string log = tmp / "wine.log";
    TempDir::Write(bin + "/wine", "#!/bin/sh\n{ pwd; for a in \"$@\"; do echo \"$a\"; done; } > \"" + log +
                                      ".tmp\"\nmv \"" + log + ".tmp\" \"" + log + "\"\n");
    chmod((bin + "/wine").c_str(), 0755);
    return log;
}

std::string WaitFor(const std::string& file)
{
    for (int i = 0; i < 500 && !fs::exists(file); ++i)
        QTest::qWait(10);
    return TempDir::Read(file);
}

class ScopedPath {
public:
    explicit ScopedPath(const std::string& first) : old_(getenv("PATH") ? getenv("PATH") : "")
    {
        setenv("PATH", (first + ":" + old_).c_str(), 1);
    }
    ~ScopedPath() { setenv("PATH", old_.c_str(), 1); }

private:
    std::string old_;
};

}  // namespace

TEST_F(DialogsTest, RunGameStartsTheGameThroughWine)
{
    const std::string log = InstallFakeWine(tmp);
    ScopedPath path(tmp / "bin");
    WriteProfiles(0);
    TempDir::Write(tmp / "game0/Iron Plain.EXE", "");
    {
        MainWindow window;
        window.show();
        ClickAndRun(window.runGameButton);  // no mod: no question
        EXPECT_EQ(WaitFor(log), (tmp / "game0") + "\n" + (tmp / "game0/Iron Plain.EXE") + "\n");
        EXPECT_EQ(desktop.shown.back().text, (tmp / "game0") + "\\iron plain.exe");
    }
    fs::remove(log);
    TempDir::Write(tmp / "game0/iron plain#.exe", "");
    MainWindow window;
    window.show();
    WhenModal<ModChoiceDialog>([](ModChoiceDialog* d) {
        EXPECT_EQ(d->windowTitle(), QStringLiteral("Select game mod"));
        QTest::keyClick(d, Qt::Key_Return);
    });
    ClickAndRun(window.runGameButton);
    EXPECT_EQ(WaitFor(log), (tmp / "game0") + "\n" + (tmp / "game0/Iron Plain.EXE") + "\n");
    fs::remove(log);
    WhenModal<ModChoiceDialog>([](ModChoiceDialog* d) { QTest::keyClick(d, Qt::Key_Escape); });
    ClickAndRun(window.runGameButton);
    EXPECT_EQ(WaitFor(log), (tmp / "game0") + "\n" + (tmp / "game0/iron plain#.exe") + "\n");
}

TEST_F(DialogsTest, RunGameWithoutWineSaysSoAndStartsNothing)
{
    // A PATH with no wine on it at all.
    fs::create_directories(tmp / "empty-bin");
    const std::string old = std::getenv("PATH") ? std::getenv("PATH") : "";
    setenv("PATH", (tmp / "empty-bin").c_str(), 1);
    WriteProfiles(0);
    TempDir::Write(tmp / "game0/iron plain.exe", "");
    {
        MainWindow window;
        window.show();
        ClickAndRun(window.runGameButton);
    }
    setenv("PATH", old.c_str(), 1);
    const auto errors = desktop.Of(Shown::Error);
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_EQ(errors[0].text, "Wine is not installed, and the game needs it to run. Install it (on Debian or "
                              "Ubuntu: sudo apt install wine) and try again");
}

TEST_F(DialogsTest, TheDesktopRunsADriveLetterProgramThroughWineInItsFolder)
{
    const std::string log = InstallFakeWine(tmp);
    ScopedPath path(tmp / "bin");
    TempDir::Write(tmp / "wine/drive_c/jade tide.exe", "");
    // A game folder stored as a drive root gives a doubled separator, which the platform accepts.
    desktop.real.StartProgram("c:\\\\jade tide.exe", "c:\\");
    EXPECT_EQ(WaitFor(log), (tmp / "wine/drive_c") + "\n" + (tmp / "wine/drive_c/jade tide.exe") + "\n");
}

// ---- options ----

TEST_F(DialogsTest, OptionsOkWithoutChangeRewritesAndRefillsKeepingTheDetails)
{
    MainWindow window;
    window.show();
    window.visibilityEdit->setText(QStringLiteral("kept"));
    const std::string file = ConfigFile();
    BlankConfigFile();  // only a rewrite brings the table back
    fs::remove(tmp / "game1/b.bte");
    WhenModal<OptionsDialog>([this](OptionsDialog* d) {
        EXPECT_EQ(d->titleLabel->text(), QStringLiteral("Grey Coast - Options"));
        EXPECT_EQ(d->outgoingEdit->text().toStdString(), tmp / "out1");
        EXPECT_EQ(d->incomingEdit->text().toStdString(), tmp / "in1");
        EXPECT_EQ(d->gameDirEdit->text().toStdString(), tmp / "game1");
        EXPECT_EQ(d->zipOverwriteGroup->ItemIndex(), 1);
        EXPECT_EQ(d->browseIncomingButton->Hint(), QStringLiteral("Change incomig directory"));
        ClickFlat(d->okButton);
    });
    ClickAndRun(window.optionsButton);
    EXPECT_EQ(ConfigFile(), file);
    EXPECT_EQ(window.catalogueList->count(), 0);  // refilled
    EXPECT_EQ(window.visibilityEdit->text(), QStringLiteral("kept"));
}

TEST_F(DialogsTest, OptionsCancelAfterChoosingFolders)
{
    MainWindow window;
    window.show();
    const std::string file = ConfigFile();
    desktop.folderAnswers = {std::string("/elsewhere/out"), std::nullopt};
    WhenModal<OptionsDialog>([](OptionsDialog* d) {
        ClickFlat(d->browseOutgoingButton);
        EXPECT_EQ(d->outgoingEdit->text(), QStringLiteral("/elsewhere/out"));
        ClickFlat(d->browseGameDirButton);  // browser cancelled: the edit keeps its text
        ClickFlat(d->cancelButton);
    });
    ClickAndRun(window.optionsButton);
    ASSERT_GE(desktop.shown.size(), 2u);
    EXPECT_EQ(desktop.shown[0].text, "Select outcoming directory: ");
    EXPECT_EQ(desktop.shown[1].text, "Select game directory: ");
    EXPECT_EQ(ConfigFile(), file);
    EXPECT_EQ(window.config.Current().OutgoingDir(), tmp / "out1");
    WhenModal<OptionsDialog>([this](OptionsDialog* d) {
        EXPECT_EQ(d->outgoingEdit->text().toStdString(), tmp / "out1");
        EXPECT_EQ(d->gameDirEdit->text().toStdString(), tmp / "game1");
        ClickFlat(d->cancelButton);
    });
    ClickAndRun(window.optionsButton);
}

TEST_F(DialogsTest, OptionsRuleAboveTwoShowsNeverAndANewGameFolderIsListed)
{
    WriteProfiles(1, 7);
    MainWindow window;
    window.show();
    TempDir::Write(tmp / "new/x.bte", BattleText("1 0", "New one", "0 6", "1"));
    TempDir::Write(tmp / "new/y.bte", BattleText("1 0", "Other", "0 6", "1"));
    const std::string longDir = "/" + std::string(300, 'd');
    desktop.folderAnswers = {tmp / "new", longDir};
    WhenModal<OptionsDialog>([](OptionsDialog* d) {
        EXPECT_EQ(d->zipOverwriteGroup->ItemIndex(), 2);
        ClickFlat(d->browseGameDirButton);
        ClickFlat(d->browseIncomingButton);
        ClickFlat(d->okButton);
    });
    ClickAndRun(window.optionsButton);
    EXPECT_EQ(static_cast<uint8_t>(ConfigFile()[771 + 513]), 2);
    EXPECT_EQ(window.config.GameDir, tmp / "new");
    EXPECT_EQ(window.config.Current().IncomingDir(), longDir.substr(0, 255));
    ASSERT_EQ(window.catalogueList->count(), 2);
    EXPECT_EQ(window.catalogueList->item(0)->text(), QStringLiteral("New one"));
    EXPECT_EQ(window.catalogueList->currentRow(), 0);
}

// Folders typed or chosen with characters outside ASCII: a drive-letter folder is stored in
// Windows-1252, a native one in UTF-8, and both are listed again after the next start.
TEST_F(DialogsTest, OptionsKeepFoldersOutsideAsciiInBothStyles)
{
    fs::create_directories(tmp / "wine/dosdevices");
    fs::create_directory_symlink(tmp.path(), tmp / "wine/dosdevices/d:");
    TempDir::Write(tmp / "Op\xC3\xA9ration/x.bte", BattleText("1 0", "French", "0 6", "1"));
    const std::string nativeOut = tmp / "\xC5\x81\xC3\xB3"
                                        "d\xC5\xBA";  // "Łódź"
    desktop.folderAnswers = {nativeOut};
    MainWindow window;
    window.show();
    WhenModal<OptionsDialog>([](OptionsDialog* d) {
        d->gameDirEdit->setText(QStringLiteral("d:\\Op\u00E9ration"));  // as typed
        ClickFlat(d->browseOutgoingButton);
        ClickFlat(d->okButton);
    });
    ClickAndRun(window.optionsButton);
    const std::string file = ConfigFile();
    EXPECT_EQ(file.substr(771 + 514, 13), std::string("\x0C") + "d:\\Op\xE9ration");
    EXPECT_EQ(file.substr(771 + 257, 1 + nativeOut.size()), static_cast<char>(nativeOut.size()) + nativeOut);
    ASSERT_EQ(window.catalogueList->count(), 1);
    EXPECT_EQ(window.catalogueList->item(0)->text(), QStringLiteral("French"));

    MainWindow again;
    EXPECT_EQ(again.config.GameDir, "d:\\Op\xC3\xA9ration");
    EXPECT_EQ(again.config.Current().OutgoingDir(), nativeOut);
    WhenModal<OptionsDialog>([&nativeOut](OptionsDialog* d) {
        EXPECT_EQ(d->gameDirEdit->text(), QStringLiteral("d:\\Op\u00E9ration"));
        EXPECT_EQ(d->outgoingEdit->text(), QString::fromStdString(nativeOut));
        ClickFlat(d->cancelButton);
    });
    ClickAndRun(again.optionsButton);
}
