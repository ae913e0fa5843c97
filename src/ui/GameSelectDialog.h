#pragma once
// The game selection dialog.
#include "ui/SkinnedWindow.h"

class QLabel;
class FlatButton;
class RadioGroup;

class GameSelectDialog : public SkinnedDialog {
    Q_OBJECT
public:
    explicit GameSelectDialog(QWidget* parent = nullptr);
    QLabel* Label1 = nullptr;
    RadioGroup* RadioGroup1 = nullptr;
    FlatButton *FlatButton1 = nullptr, *FlatButton2 = nullptr;
    void FlatButton1Click() { done(1); }
    void FlatButton2Click() { done(2); }
};
