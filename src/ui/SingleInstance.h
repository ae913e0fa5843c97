#pragma once
// One running desk per program folder: a second start hands over to the running one, which
// comes to the front, and ends. Another program folder is another desk with its own data files,
// so it runs beside it.
#include <QObject>
#include <QString>

#include <string>

class QLocalServer;
class QWidget;

class SingleInstance : public QObject {
    Q_OBJECT
public:
    explicit SingleInstance(const std::string& programDirectory, QObject* parent = nullptr);

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
    Answer AskRunningToActivate() const;
    void OnNewConnection();

    QString socketPath_;
    QLocalServer* server_ = nullptr;
};

// Shows, raises and activates the window, and the modal dialog in front of it when one is open.
void BringToFront(QWidget* window);
