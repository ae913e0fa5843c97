// Compress and Decompress run off the window's thread: the window goes on painting and answering
// while a long archive is unpacked, shows its progress and a busy cursor, lets the player stop it
// with nothing half-written, and asks every question on its own thread.
#include "base/ProgramDir.h"
#include "support/ConfigFile.h"
#include "support/LongArchives.h"
#include "support/ScriptedDesktop.h"
#include "support/Soon.h"
#include "support/TempDir.h"
#include "ui/FlatButton.h"
#include "ui/ListBox.h"
#include "ui/MainWindow.h"
#include "ui/OperationRunner.h"
#include "ui/ProgressPanel.h"
#include "ui/TabStrip.h"

#include <QApplication>
#include <QProgressBar>
#include <QPushButton>
#include <QTest>
#include <QThread>
#include <QTimer>
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <chrono>
#include <functional>
#include <set>
#include <thread>

namespace fs = std::filesystem;

namespace {

// Records, for every question and message, whether it came on the window's thread.
class ThreadNotingDesktop : public ScriptedDesktop {
public:
    void ShowMessage(const std::string& text) override
    {
        Note();
        ScriptedDesktop::ShowMessage(text);
    }
    int MessageBox(const std::string& text, const std::string& caption, unsigned flags) override
    {
        Note();
        return ScriptedDesktop::MessageBox(text, caption, flags);
    }
    bool InputQuery(const std::string& caption, const std::string& prompt, std::string& value, int max) override
    {
        Note();
        return ScriptedDesktop::InputQuery(caption, prompt, value, max);
    }
    void ShowError(const std::string& text) override
    {
        Note();
        ScriptedDesktop::ShowError(text);
    }
    bool PasswordQuery(const std::string& caption, const std::string& prompt, std::string& value) override
    {
        Note();
        return ScriptedDesktop::PasswordQuery(caption, prompt, value);
    }
    std::vector<bool> onWindowThread;

private:
    void Note() { onWindowThread.push_back(QThread::currentThread() == qApp->thread()); }
};

// Pauses the work at every report until the player has asked it to stop: long work without
// archives so big that writing them would dwarf the test.
class PacedProgress : public archive::WorkProgress {
public:
    explicit PacedProgress(std::chrono::milliseconds pause) : pause_(pause) {}

protected:
    void Reported() override
    {
        if (!StopRequested())
            std::this_thread::sleep_for(pause_);
    }

private:
    std::chrono::milliseconds pause_;
};

// What the window did while the work ran, seen from a timer on its own thread.
struct Watch {
    int ticks = 0;
    int paints = 0;
    bool panelShown = false;
    bool busyCursor = false;
    bool controlsWaited = false;
};

class PaintCounter : public QObject {
public:
    int paints = 0;
    bool eventFilter(QObject*, QEvent* event) override
    {
        if (event->type() == QEvent::Paint)
            ++paints;
        return false;
    }
};

class LongOperationTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        base::SetProgramDirectory(tmp / "prog");
        WriteConfig(tmp / "prog", tmp / "game", tmp / "out", tmp / "in", 0, 2);
        TempDir::Write(tmp / "game/a.bte", BattleText("1 0", "Alpha", "0 6", "1"));
        for (const char* dir : {"out", "in", "src"})
            fs::create_directories(tmp / dir);
        window = std::make_unique<MainWindow>();
        window->zipComponent.SetDLLDirectory(TURNEX_BIN_DIR);
        window->show();
    }

    void SelectIncoming(const std::string& name)
    {
        window->catalogueTabs->ClickTab(0);
        window->catalogueTabs->ClickTab(2);
        for (int row = 0; row < window->catalogueList->count(); ++row)
            if (window->catalogueList->item(row)->text() == QString::fromStdString(name))
                QTest::mouseClick(window->catalogueList->viewport(), Qt::LeftButton, {},
                                  window->catalogueList->visualItemRect(window->catalogueList->item(row)).center());
        ASSERT_GE(window->catalogueList->ItemIndex(), 0) << name;
    }

    // Clicks the button and watches the window until the click returns; onPanel runs once, when
    // the progress panel is first seen.
    Watch ClickWatching(FlatButton* button, const std::function<void()>& onPanel = {})
    {
        Watch watch;
        PaintCounter counter;
        window->installEventFilter(&counter);
        QTimer timer;
        timer.setInterval(20);
        QObject::connect(&timer, &QTimer::timeout, [&] {
            ++watch.ticks;
            window->update();
            const QCursor* cursor = QApplication::overrideCursor();
            watch.busyCursor |= cursor && cursor->shape() == Qt::BusyCursor;
            watch.controlsWaited |= !window->clientArea->isEnabled() && !window->deleteButton->Enabled();
            if (!watch.panelShown && Panel()->isVisible()) {
                watch.panelShown = true;
                if (onPanel)
                    onPanel();
            }
        });
        timer.start();
        QTest::mouseClick(button, Qt::LeftButton, {}, QPoint(5, 5));
        timer.stop();
        window->removeEventFilter(&counter);
        watch.paints = counter.paints;
        return watch;
    }

    ProgressPanel* Panel() const { return window->operationRunner->Panel(); }
    void Pace(int pauseMs)
    {
        window->operationRunner->MakeProgress = [pauseMs] {
            return std::make_unique<PacedProgress>(std::chrono::milliseconds(pauseMs));
        };
    }
    void CancelLongUnpack(const std::string& archive);

    // The files Decompress added to the game folder, each checked against its member.
    std::set<std::string> ArrivedWhole(const longarchives::Members& members)
    {
        std::set<std::string> arrived;
        for (const auto& name : TempDir::Names(tmp / "game")) {
            if (name == "a.bte")
                continue;
            const auto member =
                std::find_if(members.begin(), members.end(), [&](const auto& m) { return m.first == name; });
            EXPECT_NE(member, members.end()) << "a stray file was left: " << name;
            if (member != members.end())
                EXPECT_TRUE(TempDir::Read(tmp / ("game/" + name)) == member->second) << name << " is not whole";
            arrived.insert(name);
        }
        return arrived;
    }

    // The names a "cancelled" message lists, one indented line each.
    static std::set<std::string> Listed(const std::string& text)
    {
        std::set<std::string> names;
        size_t at = 0;
        while ((at = text.find("\n    ", at)) != std::string::npos) {
            at += 5;
            const std::string line = text.substr(at, text.find('\n', at) - at);
            if (line.rfind("... and ", 0) != 0)
                names.insert(line);
        }
        return names;
    }

    void WriteZip(const std::string& archive, const longarchives::Members& members, const std::string& options = "")
    {
        std::string names;
        for (const auto& [name, data] : members) {
            TempDir::Write(tmp / ("src/" + name), data);
            names += " " + name;
        }
        ASSERT_EQ(
            std::system(("cd '" + tmp.path() + "/src' && zip -q -0 " + options + " ../in/" + archive + names).c_str()),
            0);
        fs::remove_all(tmp / "src");
        fs::create_directories(tmp / "src");
    }

    void TearDown() override
    {
        window.reset();
        fs::current_path(cwd);  // unpacking a zip made the game folder current
    }

    fs::path cwd = fs::current_path();
    TempDir tmp;
    ScopedWinePrefix prefix {tmp / "wine"};
    ThreadNotingDesktop desktop;
    std::unique_ptr<MainWindow> window;
};

// Forty members in three groups of ACE's few megabytes: paced, long enough to outlast the half
// second before the panel shows.
const longarchives::Members& Long()
{
    static const longarchives::Members members = longarchives::MakeMembers(40, 256 << 10);
    return members;
}

}  // namespace

// Clicks Decompress on the selected archive, presses Cancel once the panel shows, and checks
// what the player saw and what stayed in the game folder.
void LongOperationTest::CancelLongUnpack(const std::string& archive)
{
    SelectIncoming(archive);
    desktop.shown.clear();
    bool cancelOffered = false;
    const Watch watch = ClickWatching(window->compressButton, [&] {
        cancelOffered = Panel()->cancelButton->isEnabled();
        QTest::mouseClick(Panel()->cancelButton, Qt::LeftButton);
    });

    EXPECT_GT(watch.ticks, 0);
    EXPECT_GT(watch.paints, 0);
    EXPECT_TRUE(watch.panelShown);
    EXPECT_TRUE(cancelOffered);
    EXPECT_TRUE(watch.busyCursor);
    EXPECT_TRUE(watch.controlsWaited);
    // Afterwards the window takes input again and shows no panel.
    EXPECT_FALSE(Panel()->isVisible());
    EXPECT_TRUE(window->clientArea->isEnabled());
    EXPECT_TRUE(window->deleteButton->Enabled());
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);

    ASSERT_EQ(desktop.shown.size(), 1u);
    const Shown& told = desktop.shown.front();
    EXPECT_EQ(told.caption, "Cancelled");
    EXPECT_EQ(told.text.rfind("Decompress of \"" + archive + "\" was cancelled.", 0), 0u) << told.text;
    const std::set<std::string> arrived = ArrivedWhole(Long());
    EXPECT_LT(arrived.size(), Long().size());
    const std::set<std::string> listed = Listed(told.text);
    EXPECT_TRUE(std::includes(arrived.begin(), arrived.end(), listed.begin(), listed.end())) << told.text;
    if (arrived.size() > 1)
        EXPECT_NE(told.text.find("These " + std::to_string(arrived.size()) + " files"), std::string::npos);
    EXPECT_EQ(desktop.onWindowThread, std::vector<bool>(desktop.onWindowThread.size(), true));
}

TEST_F(LongOperationTest, CancelStopsALongRarWithWholeFilesOnlyAndSaysWhatArrived)
{
    TempDir::Write(tmp / "in/long.rar", longarchives::StoredRar(Long()));
    Pace(100);  // a report after every member
    CancelLongUnpack("long.rar");
}

TEST_F(LongOperationTest, CancelStopsALongAceWithWholeFilesOnlyAndSaysWhatArrived)
{
    TempDir::Write(tmp / "in/long.ace", longarchives::StoredAce(Long()));
    Pace(300);  // a report after every group of members
    CancelLongUnpack("long.ace");
}

TEST_F(LongOperationTest, CancelStopsALongZipWithWholeFilesOnlyAndSaysWhatArrived)
{
    WriteZip("long.zip", Long());
    Pace(20);  // a report every 64 kilobytes
    CancelLongUnpack("long.zip");
}

TEST_F(LongOperationTest, ALongUnpackLeftAloneEndsWithItsUsualMessageAndOtherButtonsWaitMeanwhile)
{
    TempDir::Write(tmp / "in/long.rar", longarchives::StoredRar(Long()));
    Pace(20);
    SelectIncoming("long.rar");
    window->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
    desktop.shown.clear();
    const Watch watch = ClickWatching(window->compressButton, [&] {
        // A press that reaches a waiting button (as through the accessibility bus) does nothing,
        // and neither do the buttons' shortcuts.
        window->deleteButton->Press();
        window->refreshButton->Press();
        QTest::keySequence(window.get(), QKeySequence(Qt::Key_Delete));
        QTest::keySequence(window.get(), QKeySequence(Qt::Key_F5));
        QCoreApplication::processEvents();
    });
    EXPECT_TRUE(watch.panelShown);
    EXPECT_EQ(desktop.Messages(), std::vector<std::string> {"File(s) extracted succesfully(unrar) !"});
    EXPECT_EQ(ArrivedWhole(Long()).size(), Long().size());
    EXPECT_TRUE(fs::exists(tmp / "in/long.rar"));
    EXPECT_EQ(window->catalogueList->count(), 1);
}

TEST_F(LongOperationTest, ClosingTheWindowDuringTheWorkStopsItFirstThenCloses)
{
    TempDir::Write(tmp / "in/long.rar", longarchives::StoredRar(Long()));
    Pace(100);
    SelectIncoming("long.rar");
    desktop.shown.clear();
    bool openWhileWorking = false;
    ClickWatching(window->compressButton, [&] {
        window->close();
        openWhileWorking = window->isVisible();
    });
    EXPECT_TRUE(openWhileWorking);
    ASSERT_EQ(desktop.shown.size(), 1u);
    EXPECT_EQ(desktop.shown.front().caption, "Cancelled");
    ArrivedWhole(Long());
    ASSERT_SOON(!window->isVisible());
}

TEST_F(LongOperationTest, ThePasswordAndTheNamePromptAreAskedOnTheWindowsThread)
{
    WriteZip("locked.zip", {{"locked.bte", "secret turn"}}, "-P secret");
    SelectIncoming("locked.zip");
    desktop.shown.clear();
    desktop.passwordAnswers = {{true, "secret"}};
    ClickWatching(window->compressButton);
    EXPECT_EQ(TempDir::Read(tmp / "game/locked.bte"), "secret turn");
    ASSERT_EQ(desktop.Of(Shown::Password).size(), 1u);
    EXPECT_EQ(desktop.Messages(), std::vector<std::string> {"File(s) extracted succesfully(unzip) !"});

    // Overwrite rule "never": an archive of the battle's name makes Compress ask for a name.
    window->catalogueTabs->ClickTab(0);
    WriteZip("../out/a.zip", {{"old.bte", "old"}});
    desktop.inputAnswers = {{true, tmp / "out/renamed.zip"}};
    ClickWatching(window->compressButton);
    ASSERT_EQ(desktop.Of(Shown::Input).size(), 1u);
    EXPECT_TRUE(fs::exists(tmp / "out/renamed.zip"));
    EXPECT_EQ(desktop.Messages().back(), "File successfully zipped!");
    EXPECT_EQ(desktop.onWindowThread, std::vector<bool>(desktop.onWindowThread.size(), true));
}

TEST_F(LongOperationTest, WhatTheWorkThrowsReachesTheWindowsThreadAndTheWindowTakesInputAgain)
{
    EXPECT_THROW(window->operationRunner->Run(QStringLiteral("Failing"),
                                              [](archive::WorkProgress&) { throw std::runtime_error("Disk full"); }),
                 std::runtime_error);
    EXPECT_FALSE(window->operationRunner->Running());
    EXPECT_TRUE(window->clientArea->isEnabled());
    EXPECT_TRUE(window->compressButton->Enabled());
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
}
