#include "ui/ModChoiceDialog.h"

#include <QGuiApplication>
#include <QPushButton>
#include <QScreen>

ModChoiceDialog::ModChoiceDialog(QWidget* parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("OKBottomDlg2"));
    setWindowTitle(QStringLiteral("Select game mod"));
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint);
    setFixedSize(251, 50);
    Stan = new QPushButton(QStringLiteral("IP II Standard"), this);
    Stan->setObjectName(QStringLiteral("Stan"));
    Stan->setGeometry(15, 12, 98, 25);
    Stan->setDefault(true);  // Enter
    HKMR = new QPushButton(QStringLiteral("IP II HKMR Mod"), this);
    HKMR->setObjectName(QStringLiteral("HKMR"));
    HKMR->setGeometry(135, 12, 98, 25);
    HKMR->setAutoDefault(false);
    connect(Stan, &QPushButton::clicked, this, [this] { done(1); });
    connect(HKMR, &QPushButton::clicked, this, [this] { done(2); });  // Escape answers the same
}

int ModChoiceDialog::ShowModal()
{
    if (QScreen* screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());
    return exec() == 1 ? 1 : 2;
}
