#include "ui/ModChoiceDialog.h"

#include <QGuiApplication>
#include <QPushButton>
#include <QScreen>

ModChoiceDialog::ModChoiceDialog(QWidget* parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("modChoiceDialog"));
    setWindowTitle(QStringLiteral("Select game mod"));
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint);
    setFixedSize(251, 50);
    standardButton = new QPushButton(QStringLiteral("IP II Standard"), this);
    standardButton->setObjectName(QStringLiteral("standardButton"));
    standardButton->setGeometry(15, 12, 98, 25);
    standardButton->setDefault(true);  // Enter
    modButton = new QPushButton(QStringLiteral("IP II HKMR Mod"), this);
    modButton->setObjectName(QStringLiteral("modButton"));
    modButton->setGeometry(135, 12, 98, 25);
    modButton->setAutoDefault(false);
    connect(standardButton, &QPushButton::clicked, this, [this] { done(1); });
    connect(modButton, &QPushButton::clicked, this, [this] { done(2); });  // Escape answers the same
}

int ModChoiceDialog::ShowModal()
{
    if (QScreen* screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());
    return exec() == 1 ? 1 : 2;
}
