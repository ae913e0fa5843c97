#pragma once
// A tab strip whose change event runs before the change and can stop it: when the handler
// fails, the strip keeps the old tab. It takes no focus; Ctrl+1, Ctrl+2, ... pick a tab and
// Ctrl+Tab, Ctrl+Shift+Tab the next and the previous one, as a click on that tab would.
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
    // The keys of each tab's shortcut and of the next and previous tab, as the help names them.
    static QKeySequence TabShortcut(int index);
    static QList<QKeySequence> NextTabShortcuts();
    static QList<QKeySequence> PreviousTabShortcuts();

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    QSize tabSizeHint(int index) const override;
    void tabInserted(int index) override;

private:
    void AddShortcut(const QKeySequence& key, const std::function<void()>& action);
    // A change made past ClickTab (assistive technology selects a tab directly) is taken back
    // and made again through it, so the change event runs for it as for a click.
    void onCurrentChanged(int index);

    int shownTab_ = -1;  // the tab the last change through ClickTab (or the first tab) left
    bool clicking_ = false;
};
