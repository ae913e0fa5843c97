#include "ui/OptionsDialog.h"

#include "ui/DialogLook.h"
#include "base/Desktop.h"
#include "ui/EditBytes.h"
#include "ui/FlatButton.h"
#include "ui/RadioGroup.h"

#include <QLabel>
#include <QLineEdit>

OptionsDialog::OptionsDialog(QWidget* parent) : SkinnedDialog(parent)
{
    setObjectName(QStringLiteral("OKBottomDlg"));
    setWindowTitle(QStringLiteral("Options"));
    auto button = [this](const char* name, QRect geometry, const char* caption) {
        return MakeFlatButton(Client, name, geometry, caption, Qt::white);
    };
    auto label = [this](const char* name, QPoint at, const char* text) {
        auto* l = new QLabel(QString::fromLatin1(text), Client);
        l->setObjectName(QString::fromLatin1(name));
        l->setFont(DialogFont("Verdana", 11, false));
        SetDialogColors(l, Qt::transparent, Qt::white);
        l->move(at);
        l->adjustSize();
        return l;
    };
    auto edit = [this](const char* name, QRect geometry) {
        auto* e = new QLineEdit(Client);
        e->setObjectName(QString::fromLatin1(name));
        e->setAccessibleName(QString::fromLatin1(name));
        e->setGeometry(geometry);
        e->setReadOnly(true);
        e->setFocusPolicy(Qt::NoFocus);
        e->setFont(DialogFont("Arial", 9, false));
        SetDialogColors(e, QColor(128, 128, 128), QColor(255, 255, 0));
        return e;
    };
    FlatButton1 = button("FlatButton1", {25, 245, 88, 23}, "OK");
    FlatButton2 = button("FlatButton2", {137, 245, 88, 23}, "Cancel");
    Label1 = new QLabel(Client);
    Label1->setObjectName(QStringLiteral("Label1"));
    Label1->setGeometry(32, 7, 185, 16);
    Label1->setAlignment(Qt::AlignCenter);
    Label1->setFont(DialogFont("Verdana", 13, true));
    SetDialogColors(Label1, Qt::transparent, Qt::black);
    Label2 = label("Label2", {24, 94}, "Outcoming directory");
    Label3 = label("Label3", {24, 138}, "Incoming directory");
    FlatButton3 = button("FlatButton3", {206, 87, 20, 20}, "...");
    FlatButton3->SetHint(QStringLiteral("Change outcoming directory"));
    FlatButton4 = button("FlatButton4", {206, 131, 20, 20}, "...");
    FlatButton4->SetHint(QStringLiteral("Change incomig directory"));
    FlatButton5 = button("FlatButton5", {206, 43, 20, 20}, "...");
    Label4 = label("Label4", {24, 49}, "Game directory");
    Edit1 = edit("Edit1", {24, 108, 201, 21});
    Edit2 = edit("Edit2", {24, 152, 201, 21});
    RadioGroup1 = new RadioGroup(QStringLiteral(" Zip file overwrite "),
                                  {QStringLiteral("always"), QStringLiteral("only older files"), QStringLiteral("never")},
                                  Client);
    RadioGroup1->setObjectName(QStringLiteral("RadioGroup1"));
    RadioGroup1->setGeometry(24, 176, 201, 61);
    RadioGroup1->setFont(DialogFont("Verdana", 11, false));
    SetDialogColors(RadioGroup1, QColor(41, 41, 33), Qt::white);
    Edit3 = edit("Edit3", {24, 64, 201, 21});

    FlatButton1->OnClick = [this](FlatButton*) { FlatButton1Click(); };
    FlatButton2->OnClick = [this](FlatButton*) { FlatButton2Click(); };
    FlatButton3->OnClick = [this](FlatButton*) { base::Guarded([this] { FlatButton3Click(); }); };
    FlatButton4->OnClick = [this](FlatButton*) { base::Guarded([this] { FlatButton4Click(); }); };
    FlatButton5->OnClick = [this](FlatButton*) { base::Guarded([this] { FlatButton5Click(); }); };
}

void OptionsDialog::FlatButton1Click() { done(1); }
void OptionsDialog::FlatButton2Click() { done(2); }

void OptionsDialog::BrowseInto(const char* title, QLineEdit* edit)
{
    // A cancelled browser leaves the edit as it was.
    if (auto folder = base::TheDesktop().BrowseForFolder(title))
        SetEditBytes(edit, *folder);
}

void OptionsDialog::FlatButton3Click() { BrowseInto("Select outcoming directory: ", Edit1); }
void OptionsDialog::FlatButton4Click() { BrowseInto("Select incoming directory: ", Edit2); }
void OptionsDialog::FlatButton5Click() { BrowseInto("Select game directory: ", Edit3); }
