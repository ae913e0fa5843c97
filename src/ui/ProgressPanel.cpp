#include "ui/ProgressPanel.h"

#include "archive/WorkProgress.h"
#include "ui/DialogLook.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QShortcut>
#include <QStyle>
#include <QVBoxLayout>

#include <algorithm>

namespace {
constexpr int kBarSteps = 1000;
}

ProgressPanel::ProgressPanel(QWidget* parent) : QFrame(parent)
{
    setObjectName(QStringLiteral("progressPanel"));
    setFrameShape(QFrame::Box);
    setAutoFillBackground(true);
    SetDialogColors(this, Qt::black, QColor(255, 255, 0));
    titleLabel = new QLabel(this);
    titleLabel->setObjectName(QStringLiteral("progressTitle"));
    progressBar = new QProgressBar(this);
    progressBar->setObjectName(QStringLiteral("progressBar"));
    progressBar->setAccessibleName(QStringLiteral("Progress"));
    progressBar->setTextVisible(false);
    progressBar->setFixedHeight(14);
    // The panel's black would hide the bar's groove.
    progressBar->setPalette(progressBar->style()->standardPalette());
    cancelButton = new QPushButton(QStringLiteral("Cancel"), this);
    cancelButton->setObjectName(QStringLiteral("progressCancelButton"));
    cancelButton->setAccessibleName(QStringLiteral("Cancel"));
    cancelButton->setToolTip(QStringLiteral("Stop at the next point the work can (Esc)"));
    auto* row = new QHBoxLayout;
    row->addWidget(progressBar, 1);
    row->addWidget(cancelButton);
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(6, 4, 6, 4);
    column->setSpacing(3);
    column->addWidget(titleLabel);
    column->addLayout(row);
    titleLabel->setBuddy(progressBar);
    connect(cancelButton, &QPushButton::clicked, this, [this] {
        cancelButton->setEnabled(false);
        emit CancelRequested();
    });
    auto* escape = new QShortcut(QKeySequence(Qt::Key_Escape), this);
    escape->setContext(Qt::WindowShortcut);
    connect(escape, &QShortcut::activated, this, [this] {
        if (cancelButton->isEnabled() && isVisible())
            cancelButton->click();
    });
    hide();
}

void ProgressPanel::Show(const QString& what, const archive::WorkProgress& progress)
{
    const bool stopping = progress.StopRequested();
    titleLabel->setText(stopping ? QStringLiteral("Stopping...") : what);
    const uint64_t total = progress.Total();
    if (total == 0) {
        progressBar->setRange(0, 0);  // the end cannot be told yet
    } else {
        progressBar->setRange(0, kBarSteps);
        const uint64_t done = std::min(progress.Done(), total);
        progressBar->setValue(static_cast<int>(done * kBarSteps / total));
    }
    cancelButton->setEnabled(progress.Stoppable() && !stopping);
    if (!isVisible()) {
        show();
        raise();
    }
}
