#pragma once
// A captioned group of radio buttons with one selected item, addressed by index.
#include <QButtonGroup>
#include <QGroupBox>
#include <QStringList>

class RadioGroup : public QGroupBox {
    Q_OBJECT
public:
    RadioGroup(const QString& caption, const QStringList& items, QWidget* parent = nullptr);
    int ItemIndex() const { return group_->checkedId(); }
    void SetItemIndex(int index);
    QAbstractButton* Item(int index) const { return group_->button(index); }

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    QButtonGroup* group_;
};
