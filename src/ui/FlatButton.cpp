#include "FlatButton.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QApplication>
#include <QFontMetrics>
#include <QMouseEvent>
#include <QPainter>
#include <QShortcut>

FlatButton::FlatButton(QWidget* parent, const QString& name) : QWidget(parent)
{
    InstallFlatButtonAccessibility();
    setObjectName(name);
    resize(89, 23);
    QFont captionFont(QStringLiteral("Arial"));
    captionFont.setPointSize(8);
    captionFont.setBold(true);
    setFont(captionFont);
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
    // A screen reader keeps the name it was told: tell it of "Compress" becoming "Decompress".
    if (accessibleName().isEmpty() && QAccessible::isActive()) {
        QAccessibleEvent renamed(this, QAccessible::NameChanged);
        QAccessible::updateAccessibility(&renamed);
    }
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
    UpdateToolTip();
}

void FlatButton::SetShowHint(bool show)
{
    showHint_ = show;
    UpdateToolTip();
}

void FlatButton::SetShortcuts(const QList<QKeySequence>& keys)
{
    qDeleteAll(findChildren<QShortcut*>(QString(), Qt::FindDirectChildrenOnly));
    shortcuts_ = keys;
    for (const QKeySequence& key : keys) {
        auto* shortcut = new QShortcut(key, this);
        shortcut->setContext(Qt::WindowShortcut);
        connect(shortcut, &QShortcut::activated, this, &FlatButton::Press);
    }
    UpdateToolTip();
}

QString FlatButton::ShortcutText() const
{
    QStringList names;
    for (const QKeySequence& key : shortcuts_)
        names << key.toString(QKeySequence::NativeText);
    return names.join(QStringLiteral(", "));
}

void FlatButton::UpdateToolTip()
{
    QString tip = hint_;
    if (!shortcuts_.isEmpty())
        tip = tip.isEmpty() ? ShortcutText() : tip + QStringLiteral(" (") + ShortcutText() + QLatin1Char(')');
    setToolTip(showHint_ ? tip : QString());
}

void FlatButton::SetFont(const QFont& captionFont)
{
    setFont(captionFont);
    update();
}

void FlatButton::SetFontColor(const QColor& color)
{
    fontColor_ = color;
    update();
}

QPoint FlatButton::CaptionCorner(QSize face, QSize caption, bool pressed)
{
    const int shift = pressed ? 2 : 0;
    return {face.width() / 2 - caption.width() / 2 + shift, face.height() / 2 - caption.height() / 2 + shift};
}

QPoint FlatButton::CaptionOrigin() const
{
    const QFontMetrics metrics(font());
    return CaptionCorner(size(), QSize(metrics.horizontalAdvance(caption_), metrics.height()), false);
}

void FlatButton::RedrawRaised()
{
    pressed_ = false;
    // At once, not scheduled: the face must show the new state before anything else runs.
    if (isVisible())
        repaint();
}

bool FlatButton::event(QEvent* event)
{
    // Placed on a parent, the button shows its name until a caption is assigned.
    if (event->type() == QEvent::ParentChange && parentWidget())
        SetCaption(objectName());
    return QWidget::event(event);
}

void FlatButton::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setFont(font());
    const int w = width(), h = height();
    const QFontMetrics metrics(font());
    const QSize captionSize(metrics.horizontalAdvance(caption_), metrics.height());
    const QPoint corner = CaptionCorner(size(), captionSize, pressed_);
    // Rectangles run from (left, top) to (right, bottom) with the right column and bottom row excluded.
    auto fill = [&](int left, int top, int right, int bottom, const QColor& color) {
        if (right > left && bottom > top)
            painter.fillRect(QRect(left, top, right - left, bottom - top), color);
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
    }
    // Caption on an opaque background of the face colour.
    painter.fillRect(QRect(corner, captionSize), color_);
    painter.setPen(fontColor_);
    painter.drawText(corner.x(), corner.y() + metrics.ascent(), caption_);
    painter.setPen(Qt::black);
    painter.setBrush(Qt::NoBrush);
    painter.drawRect(0, 0, w - 1, h - 1);
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
    // Assistive technology reaches past a modal dialog and a disabled window; the mouse cannot.
    const QWidget* modal = QApplication::activeModalWidget();
    if (enabled_ && isEnabled() && (!modal || modal == window()))
        Click();
}

namespace {

class FlatButtonAccessible : public QAccessibleWidget {
public:
    explicit FlatButtonAccessible(FlatButton* button) : QAccessibleWidget(button, QAccessible::Button) {}
    FlatButton* Button() const { return static_cast<FlatButton*>(widget()); }
    QString text(QAccessible::Text kind) const override
    {
        if (kind == QAccessible::Name)
            return Button()->accessibleName().isEmpty() ? Button()->Caption() : Button()->accessibleName();
        if (kind == QAccessible::Description)
            return Button()->Hint();
        return QAccessibleWidget::text(kind);
    }
    QAccessible::State state() const override
    {
        QAccessible::State state = QAccessibleWidget::state();
        state.disabled = !Button()->Enabled();
        state.focusable = false;
        return state;
    }
    QStringList actionNames() const override { return {pressAction()}; }
    void doAction(const QString& name) override
    {
        if (name == pressAction())
            Button()->Press();
    }
    QStringList keyBindingsForAction(const QString& name) const override
    {
        QStringList keys;
        if (name == pressAction())
            for (const QKeySequence& key : Button()->Shortcuts())
                keys << key.toString(QKeySequence::NativeText);
        return keys;
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
