#include "PasswordDialog.h"

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QStyle>

PasswordDialog::PasswordDialog(QWidget* parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("passwordDialog"));
    setFixedSize(344, 137);
    setWindowFlag(Qt::MSWindowsFixedSizeDialogHint);
    QFont font(QStringLiteral("Arial"));
    font.setPixelSize(12);
    font.setBold(true);
    setFont(font);

    promptLabel = new QLabel(this);
    promptLabel->setObjectName(QStringLiteral("promptLabel"));
    promptLabel->setGeometry(20, 8, 297, 18);

    passwordEdit = new QLineEdit(this);
    passwordEdit->setObjectName(QStringLiteral("passwordEdit"));
    passwordEdit->setGeometry(20, 40, 297, passwordEdit->sizeHint().height());
    passwordEdit->setEchoMode(QLineEdit::Password);
    passwordEdit->setMaxLength(80);

    // The captions' texts are not carried by this program: the buttons show their glyphs alone.
    okButton = new QPushButton(style()->standardIcon(QStyle::SP_DialogOkButton), QString(), this);
    okButton->setObjectName(QStringLiteral("okButton"));
    okButton->setGeometry(44, 72, 90, 28);
    okButton->setDefault(true);
    cancelButton = new QPushButton(style()->standardIcon(QStyle::SP_DialogCancelButton), QString(), this);
    cancelButton->setObjectName(QStringLiteral("cancelButton"));
    cancelButton->setGeometry(205, 72, 90, 28);
    // The buttons show glyphs only: assistive technology reads what they stand for.
    okButton->setAccessibleName(QStringLiteral("OK"));
    cancelButton->setAccessibleName(QStringLiteral("Cancel"));
    promptLabel->setBuddy(passwordEdit);

    connect(okButton, &QPushButton::clicked, this, [this] {
        okClicked = true;
        done(1);
    });
    connect(cancelButton, &QPushButton::clicked, this, [this] { done(2); });

    if (QScreen* screen = QApplication::primaryScreen())
        move(screen->geometry().center() - rect().center());
}
