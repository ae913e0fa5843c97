#include "FlatButton.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QFontMetrics>
#include <QMouseEvent>
#include <QPainter>

FlatButton::FlatButton(QWidget* parent, const QString& name) : QWidget(parent)
{
    InstallFlatButtonAccessibility();
    setObjectName(name);
    resize(89, 23);
    QFont f(QStringLiteral("Arial"));
    f.setPointSize(8);
    f.setBold(true);
    setFont(f);
    setFocusPolicy(Qt::NoFocus);
    setCursor(Qt::PointingHandCursor);
    setAttribute(Qt::WA_OpaquePaintEvent);
    setAttribute(Qt::WA_Hover);
    // Placed on a parent, a new button shows its name until a caption is assigned.
    if (parent)
        caption_ = name;
}

void FlatButton::SetCaption(const QString& caption)
{
    caption_ = caption;
    RedrawRaised();
}

void FlatButton::SetColor(const QColor& color)
{
    color_ = color;
    RedrawRaised();
}

void FlatButton::SetRaiseColor(const QColor& color)
{
    raiseColor_ = color;
    RedrawRaised();
}

void FlatButton::SetHint(const QString& hint)
{
    hint_ = hint;
    setToolTip(showHint_ ? hint_ : QString());
}

void FlatButton::SetShowHint(bool show)
{
    showHint_ = show;
    setToolTip(showHint_ ? hint_ : QString());
}

void FlatButton::SetFont(const QFont& f)
{
    setFont(f);
    update();
}

void FlatButton::SetFontColor(const QColor& color)
{
    fontColor_ = color;
    update();
}

QPoint FlatButton::CaptionOrigin() const
{
    QFontMetrics fm(font());
    int tw = fm.horizontalAdvance(caption_);
    int th = fm.height();
    return {width() / 2 - tw / 2, height() / 2 - th / 2};
}

void FlatButton::RedrawRaised()
{
    pressed_ = false;
    // At once, not scheduled: the face must show the new state before anything else runs.
    if (isVisible())
        repaint();
}

bool FlatButton::event(QEvent* e)
{
    // Placed on a parent, the button shows its name until a caption is assigned.
    if (e->type() == QEvent::ParentChange && parentWidget())
        SetCaption(objectName());
    return QWidget::event(e);
}

void FlatButton::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    p.setFont(font());
    const int w = width(), h = height();
    QFontMetrics fm(font());
    const int tw = fm.horizontalAdvance(caption_);
    const int th = fm.height();
    QPoint origin(w / 2 - tw / 2, h / 2 - th / 2);
    // Rectangles run from (left, top) to (right, bottom) with the right column and bottom row excluded.
    auto fill = [&](int l, int t, int r, int b, const QColor& c) {
        if (r > l && b > t)
            p.fillRect(QRect(l, t, r - l, b - t), c);
    };
    if (!pressed_) {
        fill(1, 1, w - 1, h - 1, color_);
        fill(1, 1, 3, h - 1, raiseColor_);
        fill(1, 1, w - 1, 3, raiseColor_);
        fill(w - 3, 1, w - 1, h - 1, Qt::black);
        fill(1, h - 3, w - 1, h - 1, Qt::black);
    } else {
        fill(1, 1, w - 1, h - 1, color_);
        fill(1, 1, w - 1, 2, Qt::black);
        origin += QPoint(2, 2);
    }
    // Caption on an opaque background of the face colour.
    p.fillRect(QRect(origin.x(), origin.y(), tw, th), color_);
    p.setPen(fontColor_);
    p.drawText(origin.x(), origin.y() + fm.ascent(), caption_);
    p.setPen(Qt::black);
    p.setBrush(Qt::NoBrush);
    p.drawRect(0, 0, w - 1, h - 1);
}

void FlatButton::mousePressEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton || !enabled_)
        return;
    const QPoint pos = event->position().toPoint();
    if (OnMouseDown)
        OnMouseDown(this, event->button(), event->modifiers(), pos.x(), pos.y());
    pressedInside_ = true;
    pressed_ = true;
    repaint();
}

void FlatButton::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton || !enabled_)
        return;
    const QPoint pos = event->position().toPoint();
    const bool wasPressed = pressedInside_;
    pressedInside_ = false;
    if (OnMouseUp)
        OnMouseUp(this, event->button(), event->modifiers(), pos.x(), pos.y());
    if (pos.x() >= 1 && pos.x() <= width() && pos.y() >= 1 && pos.y() <= height())
        RedrawRaised();
    if (wasPressed && rect().contains(pos))
        Click();
}

void FlatButton::mouseMoveEvent(QMouseEvent* event)
{
    // While the mouse is captured, leaving the button is seen as a move outside it.
    if (pressed_ && !rect().contains(event->position().toPoint())) {
        pressedInside_ = false;
        RedrawRaised();
    }
}

void FlatButton::leaveEvent(QEvent*)
{
    pressedInside_ = false;
    RedrawRaised();
}

void FlatButton::Click()
{
    RedrawRaised();
    if (enabled_) {
        if (OnClick)
            OnClick(this);
        emit Clicked();
    }
}

void FlatButton::Press()
{
    if (enabled_)
        Click();
}

namespace {

class FlatButtonAccessible : public QAccessibleWidget {
public:
    explicit FlatButtonAccessible(FlatButton* b) : QAccessibleWidget(b, QAccessible::Button) {}
    FlatButton* Button() const { return static_cast<FlatButton*>(widget()); }
    QString text(QAccessible::Text t) const override
    {
        if (t == QAccessible::Name)
            return Button()->Caption();
        if (t == QAccessible::Description)
            return Button()->Hint();
        return QAccessibleWidget::text(t);
    }
    QAccessible::State state() const override
    {
        QAccessible::State s = QAccessibleWidget::state();
        s.disabled = !Button()->Enabled();
        s.focusable = false;
        return s;
    }
    QStringList actionNames() const override { return {pressAction()}; }
    void doAction(const QString& name) override
    {
        if (name == pressAction())
            Button()->Press();
    }
};

QAccessibleInterface* FlatButtonFactory(const QString& className, QObject* object)
{
    if (className == QLatin1String("FlatButton") && object && object->isWidgetType())
        return new FlatButtonAccessible(static_cast<FlatButton*>(object));
    return nullptr;
}

}  // namespace

void InstallFlatButtonAccessibility()
{
    static bool installed = false;
    if (!installed)
        QAccessible::installFactory(FlatButtonFactory);
    installed = true;
}
