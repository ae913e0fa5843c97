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
    TempDir tmp;
    ScopedWinePrefix prefix {tmp / "wine"};
    ScriptedDesktop desktop;
};

}  // namespace

TEST_F(SkinTest, MainWindowPictureAndOutline)
{
    MainWindow form;
    form.show();
    EXPECT_EQ(form.Image1->pixmap().size(), QSize(640, 480));
    EXPECT_EQ(QImage(QStringLiteral(":/turnex/main.bmp")).colorCount(), 256);  // an 8-bit picture
    EXPECT_EQ(QImage(QStringLiteral(":/turnex/dialog.bmp")).colorCount(), 256);
    EXPECT_EQ(form.Image1->pos(), QPoint(0, 0));
    // Beneath every other control of the window.
    EXPECT_EQ(form.Client->children().first(), form.Image1);
    const QImage shot = form.grab().toImage();
    EXPECT_TRUE(OnlyTheOuterRingIsBlack(shot));
    // Unscaled: the client area shows the picture's pixels from its top-left corner.
    const QImage picture = form.Image1->pixmap().toImage();
    EXPECT_EQ(shot.pixel(1 + 5, 1 + 70), picture.pixel(5, 70));
}

TEST_F(SkinTest, DialogPictureAndOutline)
{
    SkinnedDialog dialog;
    EXPECT_EQ(dialog.size(), QSize(250, 300));
    EXPECT_EQ(dialog.Client->geometry(), QRect(1, 1, 248, 298));
    EXPECT_EQ(dialog.Image1->pixmap().size(), QSize(250, 300));
    EXPECT_TRUE(dialog.windowFlags() & Qt::FramelessWindowHint);
    dialog.show();
    EXPECT_TRUE(OnlyTheOuterRingIsBlack(dialog.grab().toImage()));
    QColor panel = dialog.Image1->pixmap().toImage().pixelColor(125, 150);
    EXPECT_EQ(panel, QColor(41, 41, 41));
    // Any other way of closing than OK gives Cancel.
    QTimer::singleShot(0, &dialog, [&] { dialog.reject(); });
    EXPECT_EQ(dialog.ShowModal(), 2);
    QTimer::singleShot(0, &dialog, [&] { dialog.done(1); });
    EXPECT_EQ(dialog.ShowModal(), 1);
}

TEST_F(SkinTest, TheMainWindowIsDraggedByItsPictureWithTheLeftButton)
{
    MainWindow form;
    form.move(100, 100);
    form.show();
    const QPoint start = form.pos();
    Press(form.Image1, Qt::RightButton, QPoint(300, 60));
    MoveTo(form.Image1, QPoint(340, 90), Qt::RightButton);
    EXPECT_EQ(form.pos(), start);
    EXPECT_FALSE(form.Dragger->Dragging());

    Press(form.Image1, Qt::LeftButton, QPoint(300, 60));
    // The offscreen window system has no move of its own: the window follows the mouse.
    ASSERT_TRUE(form.Dragger->SystemMoveStarted() || form.Dragger->Dragging());
    if (!form.Dragger->SystemMoveStarted()) {
        MoveTo(form.Image1, QPoint(340, 90), Qt::LeftButton);
        EXPECT_EQ(form.pos(), start + QPoint(40, 30));
    }
    QMouseEvent up(QEvent::MouseButtonRelease, QPoint(340, 90), form.Image1->mapToGlobal(QPoint(340, 90)),
                   Qt::LeftButton, Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(form.Image1, &up);
    EXPECT_FALSE(form.Dragger->Dragging());
}

TEST_F(SkinTest, PressesOnControlsDoNotDrag)
{
    MainWindow form;
    form.move(100, 100);
    form.show();
    const QPoint start = form.pos();
    Press(form.Label1, Qt::LeftButton, QPoint(3, 3));
    MoveTo(form.Label1, QPoint(50, 50), Qt::LeftButton);
    EXPECT_EQ(form.pos(), start);
}
