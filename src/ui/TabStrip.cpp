#include "TabStrip.h"

#include <QMouseEvent>
#include <QPainter>

TabStrip::TabStrip(QWidget* parent) : QTabBar(parent)
{
    setFocusPolicy(Qt::NoFocus);
    setDrawBase(false);
    setExpanding(false);
    setUsesScrollButtons(false);
}

void TabStrip::ClickTab(int index)
{
    // Clicking the tab that is already current raises no change event.
    if (index < 0 || index >= count() || index == currentIndex())
        return;
    if (!OnChange || OnChange(index))
        setCurrentIndex(index);
}

void TabStrip::mousePressEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton)
        ClickTab(tabAt(event->position().toPoint()));
}

void TabStrip::wheelEvent(QWheelEvent*) {}
void TabStrip::keyPressEvent(QKeyEvent*) {}

QSize TabStrip::tabSizeHint(int index) const
{
    QFontMetrics fm(font());
    return {fm.horizontalAdvance(tabText(index)) + 14, height()};
}

void TabStrip::paintEvent(QPaintEvent*)
{
    // Black strip; the selected tab white, the others black; olive captions.
    QPainter p(this);
    p.fillRect(rect(), Qt::black);
    p.setFont(font());
    for (int i = 0; i < count(); ++i) {
        QRect r = tabRect(i);
        const bool current = i == currentIndex();
        p.fillRect(r.adjusted(0, 0, -1, -1), current ? Qt::white : Qt::black);
        p.setPen(QColor(128, 128, 0));
        p.drawText(r, Qt::AlignCenter, tabText(i));
        p.setPen(QColor(128, 128, 128));
        p.drawLine(r.topRight(), r.bottomRight());
    }
}
