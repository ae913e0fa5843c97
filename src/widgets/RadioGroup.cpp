#include "RadioGroup.h"

#include <QPainter>
#include <QRadioButton>
#include <QVBoxLayout>

TRadioGroup::TRadioGroup(const QString& caption, const QStringList& items, QWidget* parent)
    : QGroupBox(caption, parent), group_(new QButtonGroup(this))
{
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(8, 14, 8, 4);
    layout->setSpacing(0);
    for (int i = 0; i < items.size(); ++i) {
        auto* b = new QRadioButton(items[i], this);
        group_->addButton(b, i);
        layout->addWidget(b);
    }
}

void TRadioGroup::SetItemIndex(int index)
{
    if (QAbstractButton* b = group_->button(index))
        b->setChecked(true);
}

void TRadioGroup::paintEvent(QPaintEvent*)
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
