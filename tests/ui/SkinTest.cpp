#include "ui/MainWindow.h"
#include "base/ProgramDir.h"
#include "support/ScriptedDesktop.h"
#include "support/TempDir.h"
#include "ui/SkinnedWindow.h"

#include <QApplication>
#include <QLabel>
#include <QImage>
#include <QMouseEvent>
#include <QTimer>
#include <gtest/gtest.h>

namespace {

bool OnlyTheOuterRingIsBlack(const QImage& img)
{
    const int w = img.width(), h = img.height();
    for (int x = 0; x < w; ++x)
        if (QColor(img.pixel(x, 0)) != Qt::black || QColor(img.pixel(x, h - 1)) != Qt::black)
            return false;
    for (int y = 0; y < h; ++y)
        if (QColor(img.pixel(0, y)) != Qt::black || QColor(img.pixel(w - 1, y)) != Qt::black)
            return false;
    // Just inside the ring the picture shows.
    return QColor(img.pixel(1, 1)) != Qt::black && QColor(img.pixel(w - 2, h - 2)) != Qt::black &&
           QColor(img.pixel(w / 2, 1)) != Qt::black && QColor(img.pixel(1, h / 2)) != Qt::black;
}

class SkinTest : public ::testing::Test {
protected:
    void SetUp() override { base::SetProgramDirectory(tmp.path()); }
    void Press(QWidget* target, Qt::MouseButton b, QPoint local)
    {
        QMouseEvent e(QEvent::MouseButtonPress, local, target->mapToGlobal(local), b, b, Qt::NoModifier);
        QApplication::sendEvent(target, &e);
    }
    void MoveTo(QWidget* target, QPoint local, Qt::MouseButtons held)
    {
        QMouseEvent e(QEvent::MouseMove, local, target->mapToGlobal(local), Qt::NoButton, held, Qt::NoModifier);
        QApplication::sendEvent(target, &e);
    }
    std::unique_ptr<MainWindow> ShowWindowAt(QPoint where)
    {
        auto window = std::make_unique<MainWindow>();
        window->move(where);
        window->show();
        return window;
    }
    TempDir tmp;
    ScopedWinePrefix prefix {tmp / "wine"};
    ScriptedDesktop desktop;
};

}  // namespace

TEST_F(SkinTest, MainWindowPictureAndOutline)
{
    MainWindow window;
    window.show();
    EXPECT_EQ(window.backgroundImage->pixmap().size(), QSize(640, 480));
    EXPECT_EQ(QImage(QStringLiteral(":/turnex/main.bmp")).colorCount(), 256);  // an 8-bit picture
    EXPECT_EQ(QImage(QStringLiteral(":/turnex/dialog.bmp")).colorCount(), 256);
    EXPECT_EQ(window.backgroundImage->pos(), QPoint(0, 0));
    // Beneath every other control of the window.
    EXPECT_EQ(window.clientArea->children().first(), window.backgroundImage);
    const QImage shot = window.grab().toImage();
    EXPECT_TRUE(OnlyTheOuterRingIsBlack(shot));
    // Unscaled: the client area shows the picture's pixels from its top-left corner.
    const QImage picture = window.backgroundImage->pixmap().toImage();
    EXPECT_EQ(shot.pixel(1 + 5, 1 + 70), picture.pixel(5, 70));
}

TEST_F(SkinTest, DialogPictureAndOutline)
{
    SkinnedDialog dialog;
    EXPECT_EQ(dialog.size(), QSize(250, 300));
    EXPECT_EQ(dialog.clientArea->geometry(), QRect(1, 1, 248, 298));
    EXPECT_EQ(dialog.backgroundImage->pixmap().size(), QSize(250, 300));
    EXPECT_TRUE(dialog.windowFlags() & Qt::FramelessWindowHint);
    dialog.show();
    EXPECT_TRUE(OnlyTheOuterRingIsBlack(dialog.grab().toImage()));
    QColor panel = dialog.backgroundImage->pixmap().toImage().pixelColor(125, 150);
    EXPECT_EQ(panel, QColor(41, 41, 41));
    // Any other way of closing than OK gives Cancel.
    QTimer::singleShot(0, &dialog, [&] { dialog.reject(); });
    EXPECT_EQ(dialog.ShowModal(), 2);
    QTimer::singleShot(0, &dialog, [&] { dialog.done(1); });
    EXPECT_EQ(dialog.ShowModal(), 1);
}

TEST_F(SkinTest, TheMainWindowIsDraggedByItsPictureWithTheLeftButton)
{
    auto window = ShowWindowAt(QPoint(100, 100));
    const QPoint start = window->pos();
    Press(window->backgroundImage, Qt::RightButton, QPoint(300, 60));
    MoveTo(window->backgroundImage, QPoint(340, 90), Qt::RightButton);
    EXPECT_EQ(window->pos(), start);
    EXPECT_FALSE(window->windowDragger->Dragging());

    Press(window->backgroundImage, Qt::LeftButton, QPoint(300, 60));
    // The offscreen window system has no move of its own: the window follows the mouse.
    ASSERT_TRUE(window->windowDragger->SystemMoveStarted() || window->windowDragger->Dragging());
    if (!window->windowDragger->SystemMoveStarted()) {
        MoveTo(window->backgroundImage, QPoint(340, 90), Qt::LeftButton);
        EXPECT_EQ(window->pos(), start + QPoint(40, 30));
    }
    QMouseEvent up(QEvent::MouseButtonRelease, QPoint(340, 90), window->backgroundImage->mapToGlobal(QPoint(340, 90)),
                   Qt::LeftButton, Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(window->backgroundImage, &up);
    EXPECT_FALSE(window->windowDragger->Dragging());
}

TEST_F(SkinTest, PressesOnControlsDoNotDrag)
{
    auto window = ShowWindowAt(QPoint(100, 100));
    const QPoint start = window->pos();
    Press(window->listTitleLabel, Qt::LeftButton, QPoint(3, 3));
    MoveTo(window->listTitleLabel, QPoint(50, 50), Qt::LeftButton);
    EXPECT_EQ(window->pos(), start);
}
