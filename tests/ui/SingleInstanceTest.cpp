// One running desk per program folder, with the real program started as a second process: a
// second start on the same folder brings the first forward and ends; another folder runs beside
// it; a desk that was killed does not stop the next start.
#include "support/TempDir.h"
#include "ui/SingleInstance.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QProcess>
#include <QSignalSpy>
#include <QThread>
#include <QWidget>
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <cstring>
#include <functional>

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

// Keeps the event loop of this process turning (the first desk answers through it) until done.
bool WaitUntil(const std::function<bool()>& done, std::chrono::milliseconds limit = std::chrono::seconds(20))
{
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (!done()) {
        if (std::chrono::steady_clock::now() > deadline)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        QThread::msleep(5);
    }
    return true;
}

class SingleInstanceTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        // The sockets go to a runtime folder of the test's own, which the started programs share.
        fs::permissions(runtime_.path(), fs::perms::owner_all, fs::perm_options::replace);
        qputenv("XDG_RUNTIME_DIR", QByteArray::fromStdString(runtime_.path()));
    }
    void TearDown() override
    {
        for (QProcess* desk : started_) {
            desk->kill();
            desk->waitForFinished();
            delete desk;
        }
        if (oldRuntime_.isNull())
            qunsetenv("XDG_RUNTIME_DIR");
        else
            qputenv("XDG_RUNTIME_DIR", oldRuntime_);
    }

    // The program copied into a folder of its own: that folder is its program folder.
    static std::string InstallProgram(const TempDir& folder)
    {
        fs::copy_file(fs::path(TURNEX_BIN_DIR) / "turnex", folder / "turnex");
        fs::copy_file(fs::path(TURNEX_BIN_DIR) / "libunrar.so", folder / "libunrar.so");
        return folder / "turnex";
    }
    QProcess* Start(const std::string& program)
    {
        auto* desk = new QProcess;
        started_.push_back(desk);
        auto environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        environment.insert(QStringLiteral("WINEPREFIX"), QString::fromStdString(prefix_.path()));
        desk->setProcessEnvironment(environment);
        desk->start(QString::fromStdString(program), {});
        EXPECT_TRUE(desk->waitForStarted()) << program;
        return desk;
    }
    static bool SocketLeft(const TempDir& folder)
    {
        return QFileInfo::exists(SingleInstance::SocketPathFor(folder.path()));
    }
    // Someone listens on the folder's socket (a socket left by a killed desk refuses).
    static bool Listening(const TempDir& folder)
    {
        const std::string path = SingleInstance::SocketPathFor(folder.path()).toStdString();
        sockaddr_un address {};
        address.sun_family = AF_UNIX;
        std::strncpy(address.sun_path, path.c_str(), sizeof address.sun_path - 1);
        const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        const bool connected = ::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
        ::close(fd);
        return connected;
    }

    TempDir runtime_, prefix_;
    QByteArray oldRuntime_ = qgetenv("XDG_RUNTIME_DIR");
    std::vector<QProcess*> started_;
};

TEST_F(SingleInstanceTest, SecondStartOnTheSameFolderBringsTheFirstForwardAndEnds)
{
    TempDir desk;
    const std::string program = InstallProgram(desk);
    SingleInstance first(desk.path());
    ASSERT_FALSE(first.HandOverToRunning());
    QWidget window;
    QObject::connect(&first, &SingleInstance::activationRequested, &window, [&window] { BringToFront(&window); });
    QSignalSpy asked(&first, &SingleInstance::activationRequested);

    QProcess* second = Start(program);
    ASSERT_TRUE(WaitUntil([second] { return second->state() == QProcess::NotRunning; }))
        << "the second start kept running";
    EXPECT_EQ(second->exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(second->exitCode(), 0);
    EXPECT_EQ(asked.count(), 1);
    EXPECT_TRUE(window.isVisible());
    EXPECT_FALSE(window.isMinimized());
    // It ended before it touched the folder's data files.
    EXPECT_FALSE(fs::exists(desk / "turnex.dat"));
}

TEST_F(SingleInstanceTest, TheRunningProgramAnswersASecondStartAndKeepsRunning)
{
    TempDir desk;
    const std::string program = InstallProgram(desk);
    QProcess* first = Start(program);
    ASSERT_TRUE(WaitUntil([&] { return Listening(desk); })) << "the first start never listened";

    QProcess* second = Start(program);
    ASSERT_TRUE(second->waitForFinished(20000)) << "the second start kept running";
    EXPECT_EQ(second->exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(second->exitCode(), 0);
    EXPECT_EQ(first->state(), QProcess::Running);
}

TEST_F(SingleInstanceTest, AnotherFolderRunsBesideAndAKilledDeskDoesNotStopTheNextStart)
{
    TempDir deskA, deskB;
    SingleInstance first(deskA.path());
    ASSERT_FALSE(first.HandOverToRunning());
    QSignalSpy asked(&first, &SingleInstance::activationRequested);
    const std::string programB = InstallProgram(deskB);

    QProcess* other = Start(programB);
    ASSERT_TRUE(WaitUntil([&] { return Listening(deskB); })) << "the desk on another folder did not come up";
    EXPECT_EQ(other->state(), QProcess::Running);
    EXPECT_EQ(asked.count(), 0);

    // Killed, it leaves its socket behind.
    other->kill();
    other->waitForFinished();
    ASSERT_TRUE(SocketLeft(deskB));
    ASSERT_FALSE(Listening(deskB));

    QProcess* restarted = Start(programB);
    // The next start takes the folder over, and later starts find it there.
    ASSERT_TRUE(WaitUntil([&] { return restarted->state() != QProcess::Running || Listening(deskB); }))
        << "the restarted desk never listened";
    EXPECT_EQ(restarted->state(), QProcess::Running) << restarted->readAllStandardError().toStdString();
}

}  // namespace
