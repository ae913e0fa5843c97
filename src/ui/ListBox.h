#pragma once
// A list box whose click event fires on a user's selection (mouse or keyboard), never on one
// made by the program, and whose entries are drawn by the owner.
#include <QListWidget>
#include <QStyledItemDelegate>

#include <functional>

class ListBox : public QListWidget {
    Q_OBJECT
public:
    using DrawItemEvent = std::function<void(QPainter* canvas, int index, const QRect& rect, bool selected)>;

    explicit ListBox(QWidget* parent = nullptr);

    // Replaces all entries at once (one repaint), selecting nothing. Each entry may carry the
    // bytes it stands for (Qt::UserRole).
    void SetItems(const QStringList& items, const QList<QByteArray>& data = {});
    void ClearItems();
    // Selects an entry without raising the click event.
    void SelectSilently(int index);
    // The highlighted entry, or -1. The current row alone (which the list takes when it gets the
    // keyboard focus, and keeps after a Ctrl+click clears the highlight) selects nothing.
    int ItemIndex() const;

    DrawItemEvent OnDrawItem;
    static constexpr int kItemHeight = 13;

signals:
    void Click();

protected:
    void mousePressEvent(QMouseEvent* event) override;

private:
    bool programmatic_ = false;
};
