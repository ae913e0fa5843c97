#pragma once
// Runs a long operation (Compress, Decompress) on a thread of its own while the window's thread
// goes on serving events: the window repaints and answers assistive technology, shows a busy
// cursor and, after half a second, a progress panel with Cancel. Everything the work asks the
// player goes to the window's thread through the desktop, and the work waits for the answer.
// The window's controls, its shortcuts and drops wait until the work has ended; closing the
// window asks the work to stop and closes once it has.
#include "archive/WorkProgress.h"

#include <QObject>
#include <QPointer>

#include <functional>
#include <memory>

class ProgressPanel;
class QWidget;

class OperationRunner : public QObject {
    Q_OBJECT
public:
    // window: the top-level window; controls: what in it waits during the work.
    OperationRunner(QWidget* window, QWidget* controls);
    ~OperationRunner() override;

    // Returns when the work has ended, throwing what it threw. what: the panel's line.
    void Run(const QString& what, const std::function<void(archive::WorkProgress&)>& work);
    bool Running() const { return progress_ != nullptr; }

    ProgressPanel* Panel() const { return panel_; }
    // Makes the progress each run reports to; a test may hand out one that paces the work.
    std::function<std::unique_ptr<archive::WorkProgress>()> MakeProgress = [] {
        return std::make_unique<archive::WorkProgress>();
    };
    // How long the work runs before the panel shows.
    static constexpr int kPanelDelayMs = 500;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void Update();
    bool InPanel(QObject* object) const;

    QWidget* window_;
    QWidget* controls_;
    ProgressPanel* panel_;
    archive::WorkProgress* progress_ = nullptr;
    QString what_;
    bool closeWhenDone_ = false;
};
