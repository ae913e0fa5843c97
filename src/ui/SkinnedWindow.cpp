#include "SkinnedWindow.h"

#include <QGuiApplication>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QScreen>
#include <QWindow>

void PaintOutline(QWidget* window)
{
    QPainter p(window);
    p.setPen(QPen(Qt::black, 1));
    p.setBrush(Qt::NoBrush);
    p.drawRect(0, 0, window->width() - 1, window->height() - 1);
}

QWidget* CreateSkinClient(QWidget* window, const QSize& clientSize, const QString& picture, QLabel** image)
{
    window->setFixedSize(clientSize + QSize(2, 2));
    auto* client = new QWidget(window);
    client->setObjectName(QStringLiteral("ClientArea"));
    client->setGeometry(QRect(QPoint(1, 1), clientSize));
    auto* img = new QLabel(client);
    img->setObjectName(QStringLiteral("Image1"));
    img->setAccessibleName(QStringLiteral("Image1"));
    img->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    const QPixmap pixmap(picture);
    // The picture is two pixels larger than the client area: its last columns and rows stay hidden.
    img->setGeometry(QRect(QPoint(0, 0), pixmap.isNull() ? clientSize : pixmap.size()));
    img->setPixmap(pixmap);
    img->lower();
    if (image)
        *image = img;
    return client;
}

WindowDragger::WindowDragger(QWidget* window, QWidget* handle) : QObject(handle), window_(window)
{
    handle->installEventFilter(this);
}

bool WindowDragger::eventFilter(QObject*, QEvent* event)
{
    if (!window_)
        return false;
    switch (event->type()) {
    case QEvent::MouseButtonPress: {
        auto* e = static_cast<QMouseEvent*>(event);
        if (e->button() != Qt::LeftButton)
            return false;  // only the left button drags
        systemMove_ = window_->windowHandle() && window_->windowHandle()->startSystemMove();
        dragging_ = !systemMove_;
        grab_ = e->globalPosition().toPoint() - window_->pos();
        return true;
    }
    case QEvent::MouseMove:
        if (dragging_) {
            window_->move(static_cast<QMouseEvent*>(event)->globalPosition().toPoint() - grab_);
            return true;
        }
        return false;
    case QEvent::MouseButtonRelease:
        if (static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton)
            dragging_ = false;
        return false;
    default: return false;
    }
}

SkinnedDialog::SkinnedDialog(QWidget* parent, const QSize& clientSize) : QDialog(parent)
{
    setWindowFlags(Qt::Dialog | Qt::FramelessWindowHint);
    setModal(true);
    Client = CreateSkinClient(this, clientSize, QStringLiteral(":/turnex/dialog.bmp"), &Image1);
}

int SkinnedDialog::ShowModal()
{
    if (QScreen* screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());
    const int result = exec();
    return result == 1 ? 1 : 2;
}

void SkinnedDialog::paintEvent(QPaintEvent*) { PaintOutline(this); }
