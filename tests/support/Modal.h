#pragma once
// Answers the next modal dialog the way a user would, once it is up.
#include <QApplication>
#include <QTimer>
#include <QWidget>

#include <functional>

template <class Dialog = QWidget>
void WhenModal(std::function<void(Dialog*)> answer)
{
    auto* poll = new QTimer;
    poll->setInterval(5);
    QObject::connect(poll, &QTimer::timeout, [poll, answer] {
        if (auto* modal = qobject_cast<Dialog*>(QApplication::activeModalWidget())) {
            poll->stop();
            poll->deleteLater();
            answer(modal);
        }
    });
    poll->start();
}
