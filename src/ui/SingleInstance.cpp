#include "ui/SingleInstance.h"

#include <QApplication>
#include <QCryptographicHash>
#include <QDir>
#include <QFileInfo>
#include <QSocketNotifier>
#include <QStandardPaths>
#include <QWidget>

#include <cerrno>
#include <chrono>
#include <cstring>

#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

namespace {

constexpr char kActivate[] = "activate\n";
constexpr char kActivated[] = "activated\n";
// A running desk may be inside a blocking call (the mail client's start waits a few seconds).
constexpr int kAnswerTimeoutMs = 8000;
// A line longer than this is not ours; the connection is dropped.
constexpr size_t kMaxLine = 64;

bool AddressFor(const std::string& path, sockaddr_un& address)
{
    std::memset(&address, 0, sizeof address);
    address.sun_family = AF_UNIX;
    if (path.size() >= sizeof address.sun_path)
        return false;
    std::memcpy(address.sun_path, path.data(), path.size());
    return true;
}

int NewSocket(int flags = 0) { return ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | flags, 0); }

bool WriteAll(int fd, const char* data, size_t size)
{
    while (size > 0) {
        const ssize_t written = ::send(fd, data, size, MSG_NOSIGNAL);
        if (written < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        data += written;
        size -= static_cast<size_t>(written);
    }
    return true;
}

}  // namespace

SingleInstance::SingleInstance(const std::string& programDirectory, QObject* parent)
    : QObject(parent), socketPath_(SocketPathFor(programDirectory).toStdString())
{
}

SingleInstance::~SingleInstance() { StopListening(); }

QString SingleInstance::SocketPathFor(const std::string& programDirectory)
{
    const QString folder = QString::fromStdString(programDirectory);
    QString real = QFileInfo(folder).canonicalFilePath();
    if (real.isEmpty())
        real = QDir::cleanPath(QFileInfo(folder).absoluteFilePath());
    const QByteArray hash = QCryptographicHash::hash(real.toUtf8(), QCryptographicHash::Sha256).toHex().left(32);
    QString runtime = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    if (runtime.isEmpty())
        runtime = QDir::tempPath();
    return runtime + QStringLiteral("/turnex-") + QString::fromLatin1(hash);
}

SingleInstance::Answer SingleInstance::AskRunningToActivate() const
{
    sockaddr_un address;
    if (!AddressFor(socketPath_, address))
        return Answer::Nobody;
    const int fd = NewSocket();
    if (fd < 0)
        return Answer::Nobody;
    // A Unix socket connects at once or not at all: refused or missing means nobody listens.
    int connected;
    do
        connected = ::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address);
    while (connected != 0 && errno == EINTR);
    if (connected != 0) {
        ::close(fd);
        return Answer::Nobody;
    }
    Answer answer = Answer::Silent;
    if (WriteAll(fd, kActivate, sizeof kActivate - 1)) {
        std::string line;
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kAnswerTimeoutMs);
        while (line.find('\n') == std::string::npos && line.size() < kMaxLine) {
            const auto left =
                std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
            if (left.count() <= 0)
                break;
            pollfd waiting {fd, POLLIN, 0};
            const int ready = ::poll(&waiting, 1, static_cast<int>(left.count()));
            if (ready < 0 && errno == EINTR)
                continue;
            if (ready <= 0)
                break;
            char buffer[kMaxLine];
            const ssize_t got = ::recv(fd, buffer, sizeof buffer, 0);
            if (got < 0 && errno == EINTR)
                continue;
            if (got <= 0)
                break;
            line.append(buffer, static_cast<size_t>(got));
        }
        if (line.compare(0, sizeof kActivated - 1, kActivated) == 0)
            answer = Answer::Activated;
    }
    ::close(fd);
    return answer;
}

SingleInstance::Listen SingleInstance::StartListening()
{
    sockaddr_un address;
    if (!AddressFor(socketPath_, address))
        return Listen::Failed;
    // Non-blocking, so that accepting every waiting start never waits for one more.
    const int fd = NewSocket(SOCK_NONBLOCK);
    if (fd < 0)
        return Listen::Failed;
    // Only this user may ask the desk to come forward.
    const mode_t oldMask = ::umask(0077);
    const int bound = ::bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address);
    const int bindError = errno;
    ::umask(oldMask);
    if (bound != 0 || ::listen(fd, 8) != 0) {
        ::close(fd);
        return bound != 0 && bindError == EADDRINUSE ? Listen::InUse : Listen::Failed;
    }
    listener_ = fd;
    listenerNotifier_ = new QSocketNotifier(fd, QSocketNotifier::Read, this);
    connect(listenerNotifier_, &QSocketNotifier::activated, this, &SingleInstance::OnNewConnection);
    return Listen::Listening;
}

void SingleInstance::StopListening()
{
    while (!connections_.empty())
        CloseConnection(connections_.begin()->first);
    if (listener_ < 0)
        return;
    delete listenerNotifier_;
    listenerNotifier_ = nullptr;
    ::close(listener_);
    listener_ = -1;
    ::unlink(socketPath_.c_str());
}

bool SingleInstance::HandOverToRunning()
{
    switch (AskRunningToActivate()) {
    case Answer::Activated: return true;
    // Someone holds the socket but does not answer: it is not ours to remove, and the player
    // is better served by a desk that works than by nothing.
    case Answer::Silent: return false;
    case Answer::Nobody: break;
    }
    switch (StartListening()) {
    case Listen::Listening: return false;
    case Listen::Failed: return false;  // later starts cannot find this one; the desk still works
    case Listen::InUse: break;
    }
    // Taken by a start that came up at the same moment, or left by a killed one.
    if (AskRunningToActivate() == Answer::Activated)
        return true;
    ::unlink(socketPath_.c_str());
    StartListening();
    return false;
}

void SingleInstance::OnNewConnection()
{
    for (;;) {
        const int connection = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
        if (connection < 0)
            return;
        auto notifier = std::make_unique<QSocketNotifier>(connection, QSocketNotifier::Read);
        connect(notifier.get(), &QSocketNotifier::activated, this, [this, connection] { OnReadable(connection); });
        connections_[connection] = Connection {std::move(notifier), {}};
    }
}

void SingleInstance::OnReadable(int connection)
{
    auto found = connections_.find(connection);
    if (found == connections_.end())
        return;
    std::string& received = found->second.received;
    char buffer[kMaxLine];
    ssize_t got;
    while ((got = ::recv(connection, buffer, sizeof buffer, 0)) > 0)
        received.append(buffer, static_cast<size_t>(got));
    if (got < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR) {
        CloseConnection(connection);
        return;
    }
    for (size_t end; (end = received.find('\n')) != std::string::npos;) {
        const std::string line = received.substr(0, end + 1);
        received.erase(0, end + 1);
        if (line != kActivate)
            continue;
        emit activationRequested();
        WriteAll(connection, kActivated, sizeof kActivated - 1);
    }
    if (got == 0 || received.size() > kMaxLine)
        CloseConnection(connection);
}

void SingleInstance::CloseConnection(int connection)
{
    auto found = connections_.find(connection);
    if (found == connections_.end())
        return;
    // The notifier goes before its descriptor.
    connections_.erase(found);
    ::close(connection);
}

void BringToFront(QWidget* window)
{
    window->setWindowState((window->windowState() & ~Qt::WindowMinimized) | Qt::WindowActive);
    window->show();
    window->raise();
    window->activateWindow();
    if (QWidget* modal = QApplication::activeModalWidget(); modal && modal != window) {
        modal->raise();
        modal->activateWindow();
    }
}
