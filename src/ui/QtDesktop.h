#pragma once
// The desktop of the running program: every question to the player as a real Qt dialog.
#include "base/Desktop.h"

#include <QList>
#include <QPointer>
#include <QString>

class QWidget;
class QTextBrowser;

namespace ui {

class QtDesktop : public base::Desktop {
public:
    void ShowMessage(const std::string& text) override;
    int MessageBox(const std::string& text, const std::string& caption, unsigned flags) override;
    bool InputQuery(const std::string& caption, const std::string& prompt, std::string& value, int maxLength) override;
    std::optional<std::string> BrowseForFolder(const std::string& title) override;
    std::optional<std::string> BrowseForFolderAt(const std::string& title, const std::string& startFolder) override;
    void ShowHelp(const std::string& helpFile) override;
    std::string StartProgram(const std::string& file, const std::string& workDir) override;
    void ShowError(const std::string& text) override;
    void SetBusyCursor(bool busy) override;
    void EnableWindows(bool enabled) override;
    void LetEventsThrough() override;
    bool PasswordQuery(const std::string& caption, const std::string& prompt, std::string& value) override;

    // The help window of the last ShowHelp, for tests.
    QWidget* HelpWindow() const;
    // Where the folder browser opens for a folder as stored: the native folder when it exists,
    // else the home folder.
    static QString BrowseStartFolder(const std::string& folder);

private:
    QPointer<QTextBrowser> help_;
    // The windows EnableWindows(false) disabled: only these are enabled again.
    QList<QPointer<QWidget>> disabledWindows_;
};

}  // namespace ui
