#pragma once
// The skinned look: a frameless window one pixel larger than its client area on every side, a
// black outline on that outer ring, and a background picture at the client area's top-left
// corner, unscaled, beneath every other control.
#include <QDialog>
#include <QPoint>
#include <QPointer>

class QLabel;

// Paints the one-pixel black outline around a whole window.
void PaintOutline(QWidget* window);

// The client area of a skinned window: a child inset by one pixel, with the picture at its
// top-left corner (handed back through background).
QWidget* CreateSkinClient(QWidget* window, const QSize& clientSize, const QString& picture, QLabel** background);

// Drags a window by a control: a left press starts the window system's own move; where the
// window system refuses it, the window follows the mouse until the button is released.
class WindowDragger : public QObject {
public:
    WindowDragger(QWidget* window, QWidget* handle);
    bool SystemMoveStarted() const { return systemMove_; }
    bool Dragging() const { return dragging_; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QPointer<QWidget> window_;
    bool dragging_ = false;
    bool systemMove_ = false;
    QPoint grab_;  // where the mouse holds the window, in window coordinates
};

// A skinned modal dialog (248 x 298 client area, not draggable), centred on the screen.
class SkinnedDialog : public QDialog {
    Q_OBJECT
public:
    explicit SkinnedDialog(QWidget* parent = nullptr, const QSize& clientSize = QSize(248, 298));
    QWidget* clientArea = nullptr;
    QLabel* backgroundImage = nullptr;
    // Shows the dialog modally: 1 for OK, 2 for Cancel or any other way of closing.
    int ShowModal();

protected:
    void paintEvent(QPaintEvent* event) override;
};
