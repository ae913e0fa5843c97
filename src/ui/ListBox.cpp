#include "ListBox.h"

#include <QMouseEvent>
#include <QPainter>

namespace {

class OwnerDrawDelegate : public QStyledItemDelegate {
public:
    explicit OwnerDrawDelegate(ListBox* box) : QStyledItemDelegate(box), box_(box) {}
    void paint(QPainter* canvas, const QStyleOptionViewItem& option, const QModelIndex& index) const override
    {
        const bool selected = option.state & QStyle::State_Selected;
        // The canvas comes prepared like the toolkit's: list font, black or highlight brush.
        canvas->save();
        canvas->setFont(box_->font());
        canvas->setBrush(selected ? option.palette.highlight() : QBrush(Qt::black));
        canvas->setPen(selected ? option.palette.highlightedText().color() : box_->palette().text().color());
        if (box_->OnDrawItem)
            box_->OnDrawItem(canvas, index.row(), option.rect, selected);
        canvas->restore();
        if (option.state & QStyle::State_HasFocus) {
            canvas->save();
            canvas->setPen(QPen(Qt::white, 1, Qt::DotLine));
            canvas->drawRect(option.rect.adjusted(0, 0, -1, -1));
            canvas->restore();
        }
    }
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override
    {
        return {QStyledItemDelegate::sizeHint(option, index).width(), ListBox::kItemHeight};
    }

private:
    ListBox* box_;
};

}  // namespace

ListBox::ListBox(QWidget* parent) : QListWidget(parent)
{
    setItemDelegate(new OwnerDrawDelegate(this));
    setUniformItemSizes(true);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    // A user's selection is a click; the focus making a row current without highlighting it is not.
    connect(this, &QListWidget::itemSelectionChanged, this, [this] {
        if (!programmatic_ && ItemIndex() >= 0)
            emit Click();
    });
}

void ListBox::SetItems(const QStringList& items, const QList<QByteArray>& data)
{
    programmatic_ = true;
    setUpdatesEnabled(false);
    clear();
    addItems(items);
    for (qsizetype row = 0; row < data.size() && row < items.size(); ++row)
        item(static_cast<int>(row))->setData(Qt::UserRole, data[row]);
    setCurrentRow(-1);
    setUpdatesEnabled(true);
    programmatic_ = false;
}

int ListBox::ItemIndex() const
{
    const QList<QListWidgetItem*> selected = selectedItems();
    return selected.isEmpty() ? -1 : row(selected.first());
}

void ListBox::ClearItems() { SetItems({}); }

void ListBox::SelectSilently(int index)
{
    programmatic_ = true;
    setCurrentRow(index);
    programmatic_ = false;
}

void ListBox::mousePressEvent(QMouseEvent* event)
{
    const int before = ItemIndex();
    QListWidget::mousePressEvent(event);
    // A click on the entry that is already selected is a click as well.
    if (event->button() == Qt::LeftButton && ItemIndex() == before && before >= 0 &&
        itemAt(event->position().toPoint()) == item(before))
        emit Click();
}
