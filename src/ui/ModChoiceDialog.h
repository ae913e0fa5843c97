#pragma once
// The mod choice dialog: a standard dialog frame without system buttons and two push buttons.
#include <QDialog>

class QPushButton;

class ModChoiceDialog : public QDialog {
    Q_OBJECT
public:
    explicit ModChoiceDialog(QWidget* parent = nullptr);
    QPushButton* standardButton = nullptr;  // "IP II Standard"
    QPushButton* modButton = nullptr;       // "IP II HKMR Mod"
    // 1 for "IP II Standard"; 2 for "IP II HKMR Mod", Escape or any other way of closing.
    int ShowModal();
};
