#include "PasswordDialog.h"

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QStyle>

PasswordDialog::PasswordDialog(QWidget* parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("PasswordDlg"));
    setFixedSize(344, 137);
    setWindowFlag(Qt::MSWindowsFixedSizeDialogHint);
    QFont font(QStringLiteral("Arial"));
    font.setPixelSize(12);
    font.setBold(true);
    setFont(font);

    Label1 = new QLabel(this);
    Label1->setObjectName(QStringLiteral("Label1"));
    Label1->setGeometry(20, 8, 297, 18);

    Edit1 = new QLineEdit(this);
    Edit1->setObjectName(QStringLiteral("Edit1"));
    Edit1->setGeometry(20, 40, 297, Edit1->sizeHint().height());
    Edit1->setEchoMode(QLineEdit::Password);
    Edit1->setMaxLength(80);

    // The captions' texts are not carried by this program: the buttons show their glyphs alone.
    OKBtn = new QPushButton(style()->standardIcon(QStyle::SP_DialogOkButton), QString(), this);
    OKBtn->setObjectName(QStringLiteral("OKBtn"));
    OKBtn->setGeometry(44, 72, 90, 28);
    OKBtn->setDefault(true);
    CancelBtn = new QPushButton(style()->standardIcon(QStyle::SP_DialogCancelButton), QString(), this);
    CancelBtn->setObjectName(QStringLiteral("CancelBtn"));
    CancelBtn->setGeometry(205, 72, 90, 28);

    connect(OKBtn, &QPushButton::clicked, this, [this] {
        Result = 1;
        done(1);
    });
    connect(CancelBtn, &QPushButton::clicked, this, [this] { done(2); });

    if (QScreen* screen = QApplication::primaryScreen())
        move(screen->geometry().center() - rect().center());
}
