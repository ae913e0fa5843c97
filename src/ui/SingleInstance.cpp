#include "ui/SingleInstance.h"

#include <QApplication>
#include <QCryptographicHash>
#include <QDir>
#include <QFileInfo>
#include <QLocalServer>
#include <QLocalSocket>
#include <QStandardPaths>
#include <QWidget>

namespace {

constexpr char kActivate[] = "activate\n";
constexpr char kActivated[] = "activated\n";
constexpr int kConnectTimeoutMs = 1000;
// A running desk may be inside a blocking call (the mail client's start waits a few seconds).
constexpr int kAnswerTimeoutMs = 8000;

}  // namespace

SingleInstance::SingleInstance(const std::string& programDirectory, QObject* parent)
    : QObject(parent), socketPath_(SocketPathFor(programDirectory))
{
}

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
    QLocalSocket socket;
    socket.connectToServer(socketPath_);
    if (!socket.waitForConnected(kConnectTimeoutMs))
        return Answer::Nobody;
    socket.write(kActivate);
    socket.waitForBytesWritten(kConnectTimeoutMs);
    while (!socket.canReadLine()) {
        if (!socket.waitForReadyRead(kAnswerTimeoutMs))
            return Answer::Silent;
    }
    return socket.readLine() == kActivated ? Answer::Activated : Answer::Silent;
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
    server_ = new QLocalServer(this);
    server_->setSocketOptions(QLocalServer::UserAccessOption);
    connect(server_, &QLocalServer::newConnection, this, &SingleInstance::OnNewConnection);
    if (server_->listen(socketPath_))
        return false;
    if (server_->serverError() == QAbstractSocket::AddressInUseError) {
        // Taken by a start that came up at the same moment, or left by a killed one.
        if (AskRunningToActivate() == Answer::Activated)
            return true;
        QLocalServer::removeServer(socketPath_);
        if (server_->listen(socketPath_))
            return false;
    }
    // Without the socket later starts cannot find this one; the desk itself still works.
    delete server_;
    server_ = nullptr;
    return false;
}

void SingleInstance::OnNewConnection()
{
    while (QLocalSocket* socket = server_->nextPendingConnection()) {
        connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        connect(socket, &QLocalSocket::readyRead, this, [this, socket] {
            while (socket->canReadLine()) {
                if (socket->readLine() != kActivate)
                    continue;
                emit activationRequested();
                socket->write(kActivated);
                socket->flush();
            }
        });
    }
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
