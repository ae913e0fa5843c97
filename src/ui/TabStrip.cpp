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
    const QFontMetrics metrics(font());
    return {metrics.horizontalAdvance(tabText(index)) + 14, height()};
}

void TabStrip::paintEvent(QPaintEvent*)
{
    // Black strip; the selected tab white, the others black; olive captions.
    QPainter painter(this);
    painter.fillRect(rect(), Qt::black);
    painter.setFont(font());
    for (int index = 0; index < count(); ++index) {
        const QRect tab = tabRect(index);
        const bool current = index == currentIndex();
        painter.fillRect(tab.adjusted(0, 0, -1, -1), current ? Qt::white : Qt::black);
        painter.setPen(QColor(128, 128, 0));
        painter.drawText(tab, Qt::AlignCenter, tabText(index));
        painter.setPen(QColor(128, 128, 128));
        painter.drawLine(tab.topRight(), tab.bottomRight());
    }
}
