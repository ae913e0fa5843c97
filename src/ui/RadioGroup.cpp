#include "RadioGroup.h"

#include <QPainter>
#include <QRadioButton>
#include <algorithm>

RadioGroup::RadioGroup(const QString& caption, const QStringList& items, QWidget* parent)
    : QGroupBox(caption, parent), group_(new QButtonGroup(this))
{
    for (int index = 0; index < items.size(); ++index)
        group_->addButton(new QRadioButton(items[index], this), index);
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
    for (QAbstractButton* button : buttons)
        button->setGeometry(8, top + group_->id(button) * row, width() - 16, row);
}

void RadioGroup::SetItemIndex(int index)
{
    if (QAbstractButton* button = group_->button(index))
        button->setChecked(true);
}

void RadioGroup::paintEvent(QPaintEvent*)
{
    // A flat panel in the group's colour with a thin frame and the caption at its top edge.
    QPainter painter(this);
    painter.fillRect(rect(), palette().color(QPalette::Window));
    const QFontMetrics metrics(font());
    const int top = metrics.height() / 2;
    painter.setPen(QColor(120, 120, 110));
    painter.drawRect(rect().adjusted(0, top, -1, -1));
    const QRect caption(8, 0, metrics.horizontalAdvance(title()) + 2, metrics.height());
    painter.fillRect(caption, palette().color(QPalette::Window));
    painter.setPen(palette().color(QPalette::WindowText));
    painter.drawText(caption, Qt::AlignLeft | Qt::AlignVCenter, title());
}
