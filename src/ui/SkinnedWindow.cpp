#include "SkinnedWindow.h"

#include "ui/SkinPicture.h"

#include <QGuiApplication>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QScreen>
#include <QWindow>

void PaintOutline(QWidget* window)
{
    QPainter painter(window);
    painter.setPen(QPen(Qt::black, 1));
    painter.setBrush(Qt::NoBrush);
    painter.drawRect(0, 0, window->width() - 1, window->height() - 1);
}

QWidget* CreateSkinClient(QWidget* window, const QSize& clientSize, const QString& picture, QLabel** background)
{
    window->setFixedSize(clientSize + QSize(2, 2));
    auto* client = new QWidget(window);
    client->setObjectName(QStringLiteral("clientArea"));
    client->setGeometry(QRect(QPoint(1, 1), clientSize));
    auto* image = new QLabel(client);
    image->setObjectName(QStringLiteral("backgroundImage"));
    image->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    const QPixmap pixmap = QPixmap::fromImage(ReadSkinPicture(picture));
    // The picture is two pixels larger than the client area: its last columns and rows stay hidden.
    image->setGeometry(QRect(QPoint(0, 0), pixmap.isNull() ? clientSize : pixmap.size()));
    image->setPixmap(pixmap);
    image->lower();
    if (background)
        *background = image;
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
        auto* press = static_cast<QMouseEvent*>(event);
        if (press->button() != Qt::LeftButton)
            return false;  // only the left button drags
        systemMove_ = window_->windowHandle() && window_->windowHandle()->startSystemMove();
        dragging_ = !systemMove_;
        grab_ = press->globalPosition().toPoint() - window_->pos();
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
    clientArea = CreateSkinClient(this, clientSize, QStringLiteral(":/turnex/dialog.bmp"), &backgroundImage);
}

int SkinnedDialog::ShowModal()
{
    if (QScreen* screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());
    const int result = exec();
    return result == 1 ? 1 : 2;
}

void SkinnedDialog::paintEvent(QPaintEvent*) { PaintOutline(this); }
