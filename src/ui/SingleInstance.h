#pragma once
// One running desk per program folder: a second start hands over to the running one, which
// comes to the front, and ends. Another program folder is another desk with its own data files,
// so it runs beside it.
#include <QObject>
#include <QString>

#include <map>
#include <memory>
#include <string>

class QSocketNotifier;
class QWidget;

class SingleInstance : public QObject {
    Q_OBJECT
public:
    explicit SingleInstance(const std::string& programDirectory, QObject* parent = nullptr);
    ~SingleInstance() override;

    // The local socket of the program folder in the runtime folder, named by a hash of the
    // folder's real path.
    static QString SocketPathFor(const std::string& programDirectory);

    // True when another start for the same folder answered and was asked to come forward: this
    // one should end. Otherwise this start listens for later ones (when it can) and runs.
    bool HandOverToRunning();

signals:
    // A later start asked this one to come forward.
    void activationRequested();

private:
    enum class Answer { Activated, Silent, Nobody };
    enum class Listen { Listening, InUse, Failed };
    Answer AskRunningToActivate() const;
    Listen StartListening();
    void StopListening();
    void OnNewConnection();
    void OnReadable(int connection);
    void CloseConnection(int connection);

    // A plain Unix socket rather than the toolkit's network module: that module and what it
    // loads would cost every start several milliseconds for one line of talk.
    std::string socketPath_;
    int listener_ = -1;
    QSocketNotifier* listenerNotifier_ = nullptr;
    struct Connection {
        std::unique_ptr<QSocketNotifier> notifier;
        std::string received;
    };
    std::map<int, Connection> connections_;
};

// Shows, raises and activates the window, and the modal dialog in front of it when one is open.
void BringToFront(QWidget* window);
