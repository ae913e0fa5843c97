#pragma once
// The Options dialog: the current game's three folders and its zip overwrite rule.
#include "ui/SkinnedWindow.h"

class QLabel;
class QLineEdit;
class FlatButton;
class RadioGroup;

class OptionsDialog : public SkinnedDialog {
    Q_OBJECT
public:
    explicit OptionsDialog(QWidget* parent = nullptr);

    FlatButton *FlatButton1 = nullptr, *FlatButton2 = nullptr, *FlatButton3 = nullptr, *FlatButton4 = nullptr,
                *FlatButton5 = nullptr;
    QLabel *Label1 = nullptr, *Label2 = nullptr, *Label3 = nullptr, *Label4 = nullptr;
    QLineEdit *Edit1 = nullptr, *Edit2 = nullptr, *Edit3 = nullptr;
    RadioGroup* RadioGroup1 = nullptr;

    void FlatButton1Click();
    void FlatButton2Click();
    void FlatButton3Click();
    void FlatButton4Click();
    void FlatButton5Click();

private:
    void BrowseInto(const char* title, QLineEdit* edit);
};
