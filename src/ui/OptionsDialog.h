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

    FlatButton *okButton = nullptr, *cancelButton = nullptr;
    // The "..." buttons, each choosing the folder of the edit below it.
    FlatButton *browseOutgoingButton = nullptr, *browseIncomingButton = nullptr, *browseGameDirButton = nullptr;
    QLabel* titleLabel = nullptr;  // "<game> - Options"
    QLabel *outgoingLabel = nullptr, *incomingLabel = nullptr, *gameDirLabel = nullptr;
    QLineEdit *outgoingEdit = nullptr, *incomingEdit = nullptr, *gameDirEdit = nullptr;
    RadioGroup* zipOverwriteGroup = nullptr;

    void onOkClicked();
    void onCancelClicked();
    void onBrowseOutgoingClicked();
    void onBrowseIncomingClicked();
    void onBrowseGameDirClicked();

private:
    void BrowseInto(const char* title, QLineEdit* edit);
};
