#include "TabStrip.h"

#include <QMouseEvent>
#include <QPainter>
#include <QShortcut>

TabStrip::TabStrip(QWidget* parent) : QTabBar(parent)
{
    setFocusPolicy(Qt::NoFocus);
    setDrawBase(false);
    setExpanding(false);
    setUsesScrollButtons(false);
    connect(this, &QTabBar::currentChanged, this, &TabStrip::onCurrentChanged);
    AddShortcut(NextTabShortcuts().value(0), [this] { ClickTab((currentIndex() + 1) % count()); });
    AddShortcut(PreviousTabShortcuts().value(0), [this] { ClickTab((currentIndex() + count() - 1) % count()); });
    // X11 reports Shift+Tab as Backtab.
    AddShortcut(PreviousTabShortcuts().value(1), [this] { ClickTab((currentIndex() + count() - 1) % count()); });
}

QKeySequence TabStrip::TabShortcut(int index) { return QKeySequence(Qt::CTRL | Qt::Key(Qt::Key_1 + index)); }

QList<QKeySequence> TabStrip::NextTabShortcuts() { return {QKeySequence(Qt::CTRL | Qt::Key_Tab)}; }

QList<QKeySequence> TabStrip::PreviousTabShortcuts()
{
    return {QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Tab), QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Backtab)};
}

void TabStrip::AddShortcut(const QKeySequence& key, const std::function<void()>& action)
{
    auto* shortcut = new QShortcut(key, this);
    shortcut->setContext(Qt::WindowShortcut);
    connect(shortcut, &QShortcut::activated, this, [this, action] {
        if (count() > 0)
            action();
    });
}

void TabStrip::tabInserted(int index)
{
    QTabBar::tabInserted(index);
    if (shownTab_ < 0)
        shownTab_ = currentIndex();
    if (index < 9) {
        AddShortcut(TabShortcut(index), [this, index] { ClickTab(index); });
        setTabToolTip(index, TabShortcut(index).toString(QKeySequence::NativeText));
    }
}

void TabStrip::ClickTab(int index)
{
    // Clicking the tab that is already current raises no change event.
    if (index < 0 || index >= count() || index == currentIndex())
        return;
    clicking_ = true;
    if (!OnChange || OnChange(index))
        setCurrentIndex(index);
    clicking_ = false;
    shownTab_ = currentIndex();
}

void TabStrip::onCurrentChanged(int index)
{
    if (clicking_ || index == shownTab_ || shownTab_ < 0 || shownTab_ >= count())
        return;
    // Back to the tab the window shows first: the change event must see the strip still on it.
    clicking_ = true;
    setCurrentIndex(shownTab_);
    clicking_ = false;
    ClickTab(index);
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
