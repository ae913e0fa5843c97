#include "ui/OperationRunner.h"

#include "base/Desktop.h"
#include "ui/FlatButton.h"
#include "ui/ProgressPanel.h"
#include "ui/WindowThreadDesktop.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEvent>
#include <QEventLoop>
#include <QThread>
#include <QTimer>
#include <QWidget>

#include <exception>

namespace {

constexpr int kRefreshMs = 100;

}  // namespace

OperationRunner::OperationRunner(QWidget* window, QWidget* controls)
    : QObject(window), window_(window), controls_(controls), panel_(new ProgressPanel(window))
{
    // Over the foot of the list, which waits with the other controls.
    panel_->setGeometry(17, 392, 232, 62);
    connect(panel_, &ProgressPanel::CancelRequested, this, [this] {
        if (progress_)
            progress_->RequestStop();
        Update();
    });
}

OperationRunner::~OperationRunner() = default;

bool OperationRunner::InPanel(QObject* object) const
{
    for (QObject* o = object; o; o = o->parent())
        if (o == panel_)
            return true;
    return false;
}

bool OperationRunner::eventFilter(QObject* watched, QEvent* event)
{
    if (!progress_)
        return false;
    switch (event->type()) {
    case QEvent::Close:
        if (watched == window_) {
            // Half-written files are not left behind: the work stops at its next safe point first.
            closeWhenDone_ = true;
            progress_->RequestStop();
            event->ignore();
            Update();
            return true;
        }
        return false;
    case QEvent::DragEnter:
    case QEvent::DragMove:
    case QEvent::Drop: event->ignore(); return true;
    case QEvent::Shortcut:
        // The window's shortcuts wait with its buttons; the panel's Escape does not.
        return !InPanel(watched);
    default: return false;
    }
}

void OperationRunner::Update()
{
    if (progress_)
        panel_->Show(what_, *progress_);
}

void OperationRunner::Run(const QString& what, const std::function<void(archive::WorkProgress&)>& work)
{
    if (progress_)
        return;  // one operation at a time
    const std::unique_ptr<archive::WorkProgress> made = MakeProgress();
    archive::WorkProgress& progress = *made;
    base::Desktop& previousDesktop = base::TheDesktop();
    ui::WindowThreadDesktop desktop(previousDesktop);
    base::SetDesktop(&desktop);
    progress_ = &progress;
    what_ = what;
    closeWhenDone_ = false;

    // The controls wait. Flat buttons fire from the accessibility bus even when their parent is
    // disabled, so they are switched off themselves as well.
    QList<QPointer<FlatButton>> switchedOff;
    for (FlatButton* button : controls_->findChildren<FlatButton*>()) {
        if (button->Enabled()) {
            button->SetEnabled(false);
            switchedOff.append(button);
        }
    }
    const bool controlsWereEnabled = controls_->isEnabled();
    controls_->setEnabled(false);
    qApp->installEventFilter(this);
    QApplication::setOverrideCursor(Qt::BusyCursor);

    std::exception_ptr failure;
    QThread* worker = QThread::create([&] {
        try {
            work(progress);
        } catch (...) {
            failure = std::current_exception();
        }
    });
    QEventLoop loop;
    connect(worker, &QThread::finished, &loop, &QEventLoop::quit);
    QElapsedTimer clock;
    clock.start();
    QTimer refresh;
    refresh.setInterval(kRefreshMs);
    connect(&refresh, &QTimer::timeout, this, [&] {
        if (clock.elapsed() >= kPanelDelayMs || panel_->isVisible())
            Update();
    });
    refresh.start();
    worker->start();
    loop.exec();
    worker->wait();
    delete worker;

    refresh.stop();
    panel_->hide();
    QApplication::restoreOverrideCursor();
    qApp->removeEventFilter(this);
    controls_->setEnabled(controlsWereEnabled);
    for (const auto& button : switchedOff)
        if (button)
            button->SetEnabled(true);
    progress_ = nullptr;
    base::SetDesktop(&previousDesktop);
    if (closeWhenDone_)
        QTimer::singleShot(0, window_, [window = QPointer<QWidget>(window_)] {
            if (window)
                window->close();
        });
    if (failure)
        std::rethrow_exception(failure);
}
