#include "ui/GameSelectDialog.h"

#include "app/ConfigStore.h"
#include "ui/DialogLook.h"
#include "ui/FlatButton.h"
#include "ui/RadioGroup.h"

#include <QLabel>

GameSelectDialog::GameSelectDialog(QWidget* parent) : SkinnedDialog(parent)
{
    setObjectName(QStringLiteral("gameSelectDialog"));
    setWindowTitle(QStringLiteral("Select"));
    titleLabel = new QLabel(QStringLiteral("Select a game"), clientArea);
    titleLabel->setObjectName(QStringLiteral("titleLabel"));
    titleLabel->setGeometry(32, 7, 185, 16);
    titleLabel->setAlignment(Qt::AlignCenter);
    titleLabel->setFont(DialogFont("Verdana", 13, true));
    SetDialogColors(titleLabel, Qt::transparent, Qt::black);
    QStringList games;
    for (const char* name : app::GameNames)
        games << QString::fromLatin1(name);
    gameGroup = new RadioGroup(QStringLiteral(" Vantaris "), games, clientArea);
    gameGroup->setObjectName(QStringLiteral("gameGroup"));
    gameGroup->setGeometry(24, 64, 201, 161);
    gameGroup->setFont(DialogFont("Verdana", 11, false));
    SetDialogColors(gameGroup, QColor(41, 41, 33), Qt::white);
    auto makeButton = [this](const char* name, QRect geometry, const char* caption) {
        return MakeFlatButton(clientArea, name, geometry, caption, Qt::white);
    };
    okButton = makeButton("okButton", {25, 245, 88, 23}, "OK");
    cancelButton = makeButton("cancelButton", {137, 245, 88, 23}, "Cancel");
    okButton->OnClick = [this](FlatButton*) { onOkClicked(); };
    cancelButton->OnClick = [this](FlatButton*) { onCancelClicked(); };
    okButton->SetShortcuts({QKeySequence(Qt::Key_Return), QKeySequence(Qt::Key_Enter)});
    cancelButton->SetShortcuts({QKeySequence(Qt::Key_Escape)});
    gameGroup->setAccessibleName(gameGroup->title().trimmed());
}
