#pragma once
// Measurement only: ends the process as soon as a window has been exposed and painted, so that a
// benchmark can time a start as a whole process. The program installs it under
// TURNEX_EXIT_ON_EXPOSE; the bench's bare window, its peer, always.
#include <QObject>
#include <QTimer>
#include <QWidget>
#include <QWindow>
#include <cstdlib>

class ExitOnFirstExpose : public QObject {
public:
    explicit ExitOnFirstExpose(QWidget* window) : window_(window) {}
    bool eventFilter(QObject* target, QEvent* event) override
    {
        if (event->type() == QEvent::Expose && target == window_->windowHandle())
            QTimer::singleShot(0, [] { std::_Exit(0); });
        return false;
    }

private:
    QWidget* window_;
};
