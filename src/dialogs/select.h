#pragma once
// The game selection dialog.
#include "widgets/SkinnedWindow.h"

class QLabel;
class TFlatButton;
class TRadioGroup;

class TOKBottomDlg1 : public TSkinnedDialog {
    Q_OBJECT
public:
    explicit TOKBottomDlg1(QWidget* parent = nullptr);
    QLabel* Label1 = nullptr;
    TRadioGroup* RadioGroup1 = nullptr;
    TFlatButton *FlatButton1 = nullptr, *FlatButton2 = nullptr;
    void FlatButton1Click() { done(1); }
    void FlatButton2Click() { done(2); }
};
