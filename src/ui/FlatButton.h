#pragma once
// FlatButton: a flat, custom-drawn push button. It paints a raised face (highlight left and top,
// shadow right and bottom, black frame) or, while pressed, a flat face with the caption shifted 2
// pixels right and down. A disabled button looks the same and ignores presses. It never takes the
// keyboard focus; its keyboard shortcuts press it instead.
#include <QColor>
#include <QFont>
#include <QKeySequence>
#include <QList>
#include <QString>
#include <QWidget>

#include <functional>

class FlatButton : public QWidget {
    Q_OBJECT
public:
    using MouseEvent =
        std::function<void(FlatButton* sender, Qt::MouseButton button, Qt::KeyboardModifiers shift, int x, int y)>;
    using NotifyEvent = std::function<void(FlatButton* sender)>;

    explicit FlatButton(QWidget* parent = nullptr, const QString& name = QString());

    QString Caption() const { return caption_; }
    void SetCaption(const QString& caption);
    QColor Color() const { return color_; }
    void SetColor(const QColor& color);
    QColor RaiseColor() const { return raiseColor_; }
    void SetRaiseColor(const QColor& color);
    bool Enabled() const { return enabled_; }
    void SetEnabled(bool enabled) { enabled_ = enabled; }
    QString Hint() const { return hint_; }
    void SetHint(const QString& hint);
    bool ShowHint() const { return showHint_; }
    void SetShowHint(bool show);
    // The caption's font; its colour is the caption colour.
    QFont Font() const { return font(); }
    void SetFont(const QFont& font);
    QColor FontColor() const { return fontColor_; }
    void SetFontColor(const QColor& color);

    MouseEvent OnMouseDown;
    MouseEvent OnMouseUp;
    NotifyEvent OnClick;

    bool IsPressedFace() const { return pressed_; }
    // Where the caption's top-left corner goes on the raised face.
    QPoint CaptionOrigin() const;
    // The corner for a caption of the given size on a face of the given size: half the face less
    // half the caption, each half truncated; 2 pixels right and down while pressed.
    static QPoint CaptionCorner(QSize face, QSize caption, bool pressed);

    // Clicks the button as the mouse would (for assistive technology and the shortcuts): only
    // when enabled and while no modal dialog of another window holds the input.
    void Press();

    // Keys that press the button while its window is active. The tooltip names them after the hint.
    void SetShortcuts(const QList<QKeySequence>& keys);
    QList<QKeySequence> Shortcuts() const { return shortcuts_; }
    // The shortcuts as the tooltip and assistive technology name them, for example "F5, Alt+R".
    QString ShortcutText() const;

signals:
    void Clicked();

protected:
    bool event(QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void leaveEvent(QEvent* event) override;

private:
    void RedrawRaised();
    void Click();
    void UpdateToolTip();

    QString caption_;
    QString hint_;
    QList<QKeySequence> shortcuts_;
    QColor color_ {52, 105, 165};
    QColor raiseColor_ {138, 162, 215};
    QColor fontColor_ {255, 255, 255};
    bool enabled_ = true;
    bool showHint_ = true;
    bool pressed_ = false;
    bool pressedInside_ = false;  // a left press on the button that may still become a click
};

// Accessibility for FlatButton: a push button named by its caption (or by its accessible name,
// where the caption alone says too little), described by its hint, with its shortcuts as the key
// binding of its press action.
void InstallFlatButtonAccessibility();
