#pragma once
// The zip component's password prompt: a label, a masked edit of at most 80 characters, OK and
// Cancel. Shown through the desktop, so the component itself stays below the widgets.
#include <QDialog>

class QLabel;
class QLineEdit;
class QPushButton;

class PasswordDialog : public QDialog {
    Q_OBJECT
public:
    explicit PasswordDialog(QWidget* parent = nullptr);

    QLabel* promptLabel;
    QLineEdit* passwordEdit;
    QPushButton* okButton;
    QPushButton* cancelButton;
    bool okClicked = false;
};
