#include "ui/FlatButton.h"

#include <QAccessible>
#include <QApplication>
#include <QMouseEvent>
#include <QPainter>
#include <QTest>
#include <gtest/gtest.h>

namespace {

const QColor kFace(51, 51, 51);
const QColor kRaise(102, 102, 102);

class FlatButtonTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        parent.resize(200, 100);
        button = new FlatButton(&parent, QStringLiteral("compressButton"));
        button->setGeometry(10, 10, 97, 23);
        button->SetColor(kFace);
        button->SetRaiseColor(kRaise);
        QFont f(QStringLiteral("Verdana"));
        f.setPixelSize(11);
        f.setBold(true);
        button->SetFont(f);
        button->SetCaption(QStringLiteral("Compress"));
        button->OnClick = [this](FlatButton*) { events << QStringLiteral("click"); };
        button->OnMouseDown = [this](FlatButton*, Qt::MouseButton, Qt::KeyboardModifiers, int x, int y) {
            events << QStringLiteral("down %1,%2").arg(x).arg(y);
        };
        button->OnMouseUp = [this](FlatButton*, Qt::MouseButton, Qt::KeyboardModifiers, int, int) {
            events << QStringLiteral("up");
        };
        parent.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&parent));
    }
    QImage Face() { return button->grab().toImage().convertToFormat(QImage::Format_RGB32); }
    // The caption as the button's font draws it at a given corner on the face colour.
    QImage ExpectedCaption(QPoint corner)
    {
        QImage img(button->size(), QImage::Format_RGB32);
        img.fill(kFace);
        QPainter p(&img);
        p.setFont(button->font());
        p.setPen(button->FontColor());
        p.drawText(corner.x(), corner.y() + QFontMetrics(button->font()).ascent(), button->Caption());
        return img;
    }
    bool CaptionDrawnAt(const QImage& face, QPoint corner)
    {
        QFontMetrics fm(button->font());
        QImage expected = ExpectedCaption(corner);
        QRect area(corner, QSize(fm.horizontalAdvance(button->Caption()), fm.height()));
        for (int y = area.top(); y <= area.bottom(); ++y)
            for (int x = area.left(); x <= area.right(); ++x)
                if (face.pixel(x, y) != expected.pixel(x, y))
                    return false;
        return true;
    }
    void Send(QEvent::Type type, Qt::MouseButton b, QPoint pos, Qt::MouseButtons held)
    {
        QMouseEvent e(type, pos, button->mapToGlobal(pos), b, held, Qt::NoModifier);
        QApplication::sendEvent(button, &e);
    }
    QWidget parent;
    FlatButton* button = nullptr;
    QStringList events;
};

}  // namespace

TEST(FlatButton, CreationValues)
{
    QWidget parent;
    FlatButton b(&parent, QStringLiteral("deleteButton"));
    EXPECT_EQ(b.size(), QSize(89, 23));
    EXPECT_EQ(b.Color(), QColor(52, 105, 165));
    EXPECT_EQ(b.RaiseColor(), QColor(138, 162, 215));
    EXPECT_EQ(b.Font().family(), QStringLiteral("Arial"));
    EXPECT_EQ(b.Font().pointSize(), 8);
    EXPECT_TRUE(b.Font().bold());
    EXPECT_EQ(b.FontColor(), QColor(255, 255, 255));
    EXPECT_TRUE(b.ShowHint());
    EXPECT_TRUE(b.Enabled());
    EXPECT_EQ(b.Caption(), QStringLiteral("deleteButton"));  // placed on a parent: its name
    EXPECT_EQ(b.focusPolicy(), Qt::NoFocus);
    EXPECT_EQ(b.cursor().shape(), Qt::PointingHandCursor);
    FlatButton loose(nullptr, QStringLiteral("Loose"));
    EXPECT_EQ(loose.Caption(), QString());
    loose.setParent(&parent);
    EXPECT_EQ(loose.Caption(), QStringLiteral("Loose"));
    b.SetHint(QStringLiteral("Delete"));
    EXPECT_EQ(b.toolTip(), QStringLiteral("Delete"));
    b.SetShowHint(false);
    EXPECT_TRUE(b.toolTip().isEmpty());
}

TEST(FlatButton, CaptionCornerIsHalfTheFaceLessHalfTheCaption)
{
    // A 97 x 23 button with a caption of 30 x 13 pixels in its font.
    EXPECT_EQ(FlatButton::CaptionCorner(QSize(97, 23), QSize(30, 13), false), QPoint(33, 5));
    EXPECT_EQ(FlatButton::CaptionCorner(QSize(97, 23), QSize(30, 13), true), QPoint(35, 7));
    // Each half is truncated on its own: 48 - 15 and 12 - 6, not (96 - 31) / 2 and (24 - 13) / 2.
    EXPECT_EQ(FlatButton::CaptionCorner(QSize(96, 24), QSize(31, 13), false), QPoint(33, 6));
}

TEST_F(FlatButtonTest, RaisedFace)
{
    const QImage face = Face();
    const int w = 97, h = 23;
    const QPoint corner = button->CaptionOrigin();
    EXPECT_TRUE(CaptionDrawnAt(face, corner));
    EXPECT_FALSE(CaptionDrawnAt(face, corner + QPoint(1, 0)));
    // Frame, two-pixel highlight left and top, two-pixel shadow right and bottom.
    for (QPoint frame :
         {QPoint(0, 0), QPoint(w - 1, 0), QPoint(0, h - 1), QPoint(w - 1, h - 1), QPoint(40, 0), QPoint(0, 11)})
        EXPECT_EQ(QColor(face.pixel(frame)), QColor(Qt::black)) << frame.x() << "," << frame.y();
    for (QPoint hi : {QPoint(1, 1), QPoint(2, 11), QPoint(1, h - 4), QPoint(40, 1), QPoint(40, 2), QPoint(w - 4, 2)})
        EXPECT_EQ(QColor(face.pixel(hi)), kRaise) << hi.x() << "," << hi.y();
    for (QPoint sh : {QPoint(w - 2, 11), QPoint(w - 3, 11), QPoint(40, h - 2), QPoint(40, h - 3), QPoint(w - 3, 1)})
        EXPECT_EQ(QColor(face.pixel(sh)), QColor(Qt::black)) << sh.x() << "," << sh.y();
    for (QPoint f : {QPoint(3, 11), QPoint(w - 4, 11), QPoint(5, 3), QPoint(5, h - 4)})
        EXPECT_EQ(QColor(face.pixel(f)), kFace) << f.x() << "," << f.y();
}

TEST_F(FlatButtonTest, PressedFaceAndClick)
{
    QTest::mousePress(button, Qt::LeftButton, {}, QPoint(20, 10));
    EXPECT_EQ(events, (QStringList {"down 20,10"}));
    const QImage pressed = Face();
    EXPECT_TRUE(CaptionDrawnAt(pressed, button->CaptionOrigin() + QPoint(2, 2)));
    EXPECT_FALSE(CaptionDrawnAt(pressed, button->CaptionOrigin()));
    EXPECT_EQ(QColor(pressed.pixel(40, 1)), QColor(Qt::black));  // the dark line below the top edge
    EXPECT_EQ(QColor(pressed.pixel(1, 11)), kFace);              // no highlight
    EXPECT_EQ(QColor(pressed.pixel(95, 11)), kFace);             // no shadow
    EXPECT_EQ(QColor(pressed.pixel(96, 11)), QColor(Qt::black));
    QTest::mouseRelease(button, Qt::LeftButton, {}, QPoint(20, 10));
    EXPECT_EQ(events, (QStringList {"down 20,10", "up", "click"}));
    EXPECT_FALSE(button->IsPressedFace());
}

TEST_F(FlatButtonTest, LeavingWhilePressedRestoresTheFaceAndClicksNothing)
{
    const QImage raised = Face();
    Send(QEvent::MouseButtonPress, Qt::LeftButton, QPoint(20, 10), Qt::LeftButton);
    EXPECT_TRUE(button->IsPressedFace());
    Send(QEvent::MouseMove, Qt::NoButton, QPoint(150, 60), Qt::LeftButton);
    EXPECT_FALSE(button->IsPressedFace());
    EXPECT_EQ(Face(), raised);
    Send(QEvent::MouseButtonRelease, Qt::LeftButton, QPoint(150, 60), Qt::NoButton);
    EXPECT_EQ(events, (QStringList {"down 20,10", "up"}));

    Send(QEvent::MouseButtonPress, Qt::LeftButton, QPoint(20, 10), Qt::LeftButton);
    QEvent leave(QEvent::Leave);
    QApplication::sendEvent(button, &leave);
    EXPECT_FALSE(button->IsPressedFace());
}

TEST_F(FlatButtonTest, DisabledLooksTheSameAndIgnoresPresses)
{
    const QImage enabled = Face();
    button->SetEnabled(false);
    EXPECT_EQ(Face(), enabled);
    QTest::mouseClick(button, Qt::LeftButton, {}, QPoint(20, 10));
    EXPECT_TRUE(events.isEmpty());
    EXPECT_EQ(Face(), enabled);
    QTest::mouseClick(button, Qt::RightButton, {}, QPoint(20, 10));
    button->SetEnabled(true);
    QTest::mouseClick(button, Qt::RightButton, {}, QPoint(20, 10));
    EXPECT_TRUE(events.isEmpty());  // other buttons never press it
}

TEST_F(FlatButtonTest, NewColoursRepaintAtOnce)
{
    int paints = 0;
    struct Counter : QObject {
        int* n;
        explicit Counter(int* c) : n(c) {}
        bool eventFilter(QObject*, QEvent* e) override
        {
            if (e->type() == QEvent::Paint)
                ++*n;
            return false;
        }
    } counter(&paints);
    button->installEventFilter(&counter);
    button->SetColor(QColor(200, 0, 0));
    EXPECT_EQ(paints, 1);  // painted before any event was processed
    EXPECT_EQ(QColor(Face().pixel(5, 11)), QColor(200, 0, 0));
    paints = 0;
    button->SetRaiseColor(QColor(0, 200, 0));
    button->SetCaption(QStringLiteral("Decompress"));
    EXPECT_EQ(paints, 2);
}

TEST_F(FlatButtonTest, AccessibleAsAPushButton)
{
    InstallFlatButtonAccessibility();
    QAccessibleInterface* a = QAccessible::queryAccessibleInterface(button);
    ASSERT_NE(a, nullptr);
    EXPECT_EQ(a->role(), QAccessible::Button);
    EXPECT_EQ(a->text(QAccessible::Name), QStringLiteral("Compress"));
    a->actionInterface()->doAction(QAccessibleActionInterface::pressAction());
    EXPECT_EQ(events, (QStringList {"click"}));
    button->SetEnabled(false);
    EXPECT_TRUE(a->state().disabled);
    a->actionInterface()->doAction(QAccessibleActionInterface::pressAction());
    EXPECT_EQ(events, (QStringList {"click"}));
}
