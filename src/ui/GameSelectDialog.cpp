#include "ui/GameSelectDialog.h"

#include "app/ConfigStore.h"
#include "ui/DialogLook.h"
#include "ui/FlatButton.h"
#include "ui/RadioGroup.h"

#include <QLabel>

GameSelectDialog::GameSelectDialog(QWidget* parent) : SkinnedDialog(parent)
{
    setObjectName(QStringLiteral("OKBottomDlg1"));
    setWindowTitle(QStringLiteral("Select"));
    Label1 = new QLabel(QStringLiteral("Select a game"), Client);
    Label1->setObjectName(QStringLiteral("Label1"));
    Label1->setGeometry(32, 7, 185, 16);
    Label1->setAlignment(Qt::AlignCenter);
    Label1->setFont(DialogFont("Verdana", 13, true));
    SetDialogColors(Label1, Qt::transparent, Qt::black);
    QStringList games;
    for (const char* name : app::GameNames)
        games << QString::fromLatin1(name);
    RadioGroup1 = new RadioGroup(QStringLiteral(" Vantaris "), games, Client);
    RadioGroup1->setObjectName(QStringLiteral("RadioGroup1"));
    RadioGroup1->setGeometry(24, 64, 201, 161);
    RadioGroup1->setFont(DialogFont("Verdana", 11, false));
    SetDialogColors(RadioGroup1, QColor(41, 41, 33), Qt::white);
    auto button = [this](const char* name, QRect geometry, const char* caption) {
        return MakeFlatButton(Client, name, geometry, caption, Qt::white);
    };
    FlatButton1 = button("FlatButton1", {25, 245, 88, 23}, "OK");
    FlatButton2 = button("FlatButton2", {137, 245, 88, 23}, "Cancel");
    FlatButton1->OnClick = [this](FlatButton*) { FlatButton1Click(); };
    FlatButton2->OnClick = [this](FlatButton*) { FlatButton2Click(); };
}
