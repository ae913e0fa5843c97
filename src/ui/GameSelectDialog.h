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
    QLabel* titleLabel = nullptr;
    RadioGroup* gameGroup = nullptr;  // one item per game, in the games' order
    FlatButton *okButton = nullptr, *cancelButton = nullptr;
    void onOkClicked() { done(1); }
    void onCancelClicked() { done(2); }
};
