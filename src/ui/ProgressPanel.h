#pragma once
// The small panel that long work shows over the window: what is being done, a bar of how far it
// has come, and Cancel where the work can stop.
#include <QFrame>

class QLabel;
class QProgressBar;
class QPushButton;

namespace archive {
class WorkProgress;
}

class ProgressPanel : public QFrame {
    Q_OBJECT
public:
    explicit ProgressPanel(QWidget* parent);

    // Shows the work's state; Cancel is offered while the work can stop and was not yet asked to.
    void Show(const QString& what, const archive::WorkProgress& progress);

    QLabel* titleLabel = nullptr;
    QProgressBar* progressBar = nullptr;
    QPushButton* cancelButton = nullptr;

signals:
    void CancelRequested();
};
