#pragma once
// A tab strip whose change event runs before the change and can stop it: when the handler
// fails, the strip keeps the old tab.
#include <QTabBar>

#include <functional>

class TabStrip : public QTabBar {
    Q_OBJECT
public:
    // Returns whether the change takes place.
    using ChangeEvent = std::function<bool(int newTab)>;

    explicit TabStrip(QWidget* parent = nullptr);
    ChangeEvent OnChange;
    // Selects a tab as a user's click would.
    void ClickTab(int index);

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    QSize tabSizeHint(int index) const override;
};
