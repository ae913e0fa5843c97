#include "RadioGroup.h"

#include <QPainter>
#include <QRadioButton>
#include <algorithm>

RadioGroup::RadioGroup(const QString& caption, const QStringList& items, QWidget* parent)
    : QGroupBox(caption, parent), group_(new QButtonGroup(this))
{
    for (int i = 0; i < items.size(); ++i)
        group_->addButton(new QRadioButton(items[i], this), i);
}

void RadioGroup::resizeEvent(QResizeEvent* event)
{
    QGroupBox::resizeEvent(event);
    // The items share the height below the caption evenly, however small the group is.
    const auto buttons = group_->buttons();
    if (buttons.isEmpty())
        return;
    const int top = QFontMetrics(font()).height();
    const int row = std::max(1, (height() - top - 2) / static_cast<int>(buttons.size()));
    for (QAbstractButton* b : buttons) {
        const int i = group_->id(b);
        b->setGeometry(8, top + i * row, width() - 16, row);
    }
}

void RadioGroup::SetItemIndex(int index)
{
    if (QAbstractButton* b = group_->button(index))
        b->setChecked(true);
}

void RadioGroup::paintEvent(QPaintEvent*)
{
    // A flat panel in the group's colour with a thin frame and the caption at its top edge.
    QPainter p(this);
    p.fillRect(rect(), palette().color(QPalette::Window));
    const QFontMetrics fm(font());
    const int top = fm.height() / 2;
    p.setPen(QColor(120, 120, 110));
    p.drawRect(rect().adjusted(0, top, -1, -1));
    const QRect caption(8, 0, fm.horizontalAdvance(title()) + 2, fm.height());
    p.fillRect(caption, palette().color(QPalette::Window));
    p.setPen(palette().color(QPalette::WindowText));
    p.drawText(caption, Qt::AlignLeft | Qt::AlignVCenter, title());
}
