#include "ui/OptionsDialog.h"

#include "ui/DialogLook.h"
#include "base/Desktop.h"
#include "ui/EditBytes.h"
#include "ui/FieldLabels.h"
#include "ui/FlatButton.h"
#include "ui/RadioGroup.h"

#include <QLabel>
#include <QLineEdit>

OptionsDialog::OptionsDialog(QWidget* parent) : SkinnedDialog(parent)
{
    setObjectName(QStringLiteral("optionsDialog"));
    setWindowTitle(QStringLiteral("Options"));
    auto makeButton = [this](const char* name, QRect geometry, const char* caption) {
        return MakeFlatButton(clientArea, name, geometry, caption, Qt::white);
    };
    auto makeLabel = [this](const char* name, QPoint at, const char* text) {
        auto* label = new QLabel(QString::fromLatin1(text), clientArea);
        label->setObjectName(QString::fromLatin1(name));
        label->setFont(DialogFont("Verdana", 11, false));
        SetDialogColors(label, Qt::transparent, Qt::white);
        label->move(at);
        label->adjustSize();
        return label;
    };
    auto makeFolderEdit = [this](const char* name, QRect geometry) {
        auto* edit = new QLineEdit(clientArea);
        edit->setObjectName(QString::fromLatin1(name));
        edit->setGeometry(geometry);
        edit->setReadOnly(true);
        edit->setFocusPolicy(Qt::NoFocus);
        edit->setFont(DialogFont("Arial", 9, false));
        SetDialogColors(edit, QColor(128, 128, 128), QColor(255, 255, 0));
        return edit;
    };
    okButton = makeButton("okButton", {25, 245, 88, 23}, "OK");
    cancelButton = makeButton("cancelButton", {137, 245, 88, 23}, "Cancel");
    titleLabel = new QLabel(clientArea);
    titleLabel->setObjectName(QStringLiteral("titleLabel"));
    titleLabel->setGeometry(32, 7, 185, 16);
    titleLabel->setAlignment(Qt::AlignCenter);
    titleLabel->setFont(DialogFont("Verdana", 13, true));
    SetDialogColors(titleLabel, Qt::transparent, Qt::black);
    outgoingLabel = makeLabel("outgoingLabel", {24, 94}, "Outcoming directory");
    incomingLabel = makeLabel("incomingLabel", {24, 138}, "Incoming directory");
    browseOutgoingButton = makeButton("browseOutgoingButton", {206, 87, 20, 20}, "...");
    browseOutgoingButton->SetHint(QStringLiteral("Change outcoming directory"));
    browseIncomingButton = makeButton("browseIncomingButton", {206, 131, 20, 20}, "...");
    browseIncomingButton->SetHint(QStringLiteral("Change incomig directory"));
    browseGameDirButton = makeButton("browseGameDirButton", {206, 43, 20, 20}, "...");
    gameDirLabel = makeLabel("gameDirLabel", {24, 49}, "Game directory");
    outgoingEdit = makeFolderEdit("outgoingEdit", {24, 108, 201, 21});
    incomingEdit = makeFolderEdit("incomingEdit", {24, 152, 201, 21});
    zipOverwriteGroup = new RadioGroup(
        QStringLiteral(" Zip file overwrite "),
        {QStringLiteral("always"), QStringLiteral("only older files"), QStringLiteral("never")}, clientArea);
    zipOverwriteGroup->setObjectName(QStringLiteral("zipOverwriteGroup"));
    zipOverwriteGroup->setGeometry(24, 176, 201, 61);
    zipOverwriteGroup->setFont(DialogFont("Verdana", 11, false));
    SetDialogColors(zipOverwriteGroup, QColor(41, 41, 33), Qt::white);
    gameDirEdit = makeFolderEdit("gameDirEdit", {24, 64, 201, 21});
    TieLabel(gameDirLabel, gameDirEdit);
    TieLabel(outgoingLabel, outgoingEdit);
    TieLabel(incomingLabel, incomingEdit);
    zipOverwriteGroup->setAccessibleName(zipOverwriteGroup->title().trimmed());
    // "..." says nothing to a listener; the label beside each button says what it changes.
    browseGameDirButton->setAccessibleName(QStringLiteral("Choose game directory"));
    browseOutgoingButton->setAccessibleName(QStringLiteral("Choose outcoming directory"));
    browseIncomingButton->setAccessibleName(QStringLiteral("Choose incoming directory"));
    okButton->SetShortcuts({QKeySequence(Qt::Key_Return), QKeySequence(Qt::Key_Enter)});
    cancelButton->SetShortcuts({QKeySequence(Qt::Key_Escape)});
    browseGameDirButton->SetShortcuts({QKeySequence(Qt::ALT | Qt::Key_G)});
    browseOutgoingButton->SetShortcuts({QKeySequence(Qt::ALT | Qt::Key_U)});
    browseIncomingButton->SetShortcuts({QKeySequence(Qt::ALT | Qt::Key_I)});

    okButton->OnClick = [this](FlatButton*) { onOkClicked(); };
    cancelButton->OnClick = [this](FlatButton*) { onCancelClicked(); };
    browseOutgoingButton->OnClick = [this](FlatButton*) { base::Guarded([this] { onBrowseOutgoingClicked(); }); };
    browseIncomingButton->OnClick = [this](FlatButton*) { base::Guarded([this] { onBrowseIncomingClicked(); }); };
    browseGameDirButton->OnClick = [this](FlatButton*) { base::Guarded([this] { onBrowseGameDirClicked(); }); };
}

void OptionsDialog::onOkClicked() { done(1); }
void OptionsDialog::onCancelClicked() { done(2); }

void OptionsDialog::BrowseInto(const char* title, QLineEdit* edit)
{
    // The browser opens at the folder the edit holds; a cancelled browser leaves the edit as it was.
    if (auto folder = base::TheDesktop().BrowseForFolderAt(title, EditBytes(edit)))
        SetEditBytes(edit, *folder);
}

void OptionsDialog::onBrowseOutgoingClicked() { BrowseInto("Select outcoming directory: ", outgoingEdit); }
void OptionsDialog::onBrowseIncomingClicked() { BrowseInto("Select incoming directory: ", incomingEdit); }
void OptionsDialog::onBrowseGameDirClicked() { BrowseInto("Select game directory: ", gameDirEdit); }
