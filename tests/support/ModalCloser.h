#pragma once
// Closes every modal dialog that opens while it lives, as Escape would, and keeps the class names
// of those it saw, in order. For tests where a dialog may or may not open.
#include <QApplication>
#include <QDialog>
#include <QStringList>
#include <QTimer>

#include <functional>

class ModalCloser {
public:
    ModalCloser()
    {
        timer_.setInterval(5);
        QObject::connect(&timer_, &QTimer::timeout, [this] {
            if (auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget())) {
                seen << QString::fromLatin1(dialog->metaObject()->className());
                if (onOpen)
                    onOpen(dialog);
                dialog->reject();
            }
        });
        timer_.start();
    }
    QStringList seen;
    // Runs while the dialog is up, before it is closed.
    std::function<void(QDialog*)> onOpen;

private:
    QTimer timer_;
};
