#pragma once
// The desktop as work on another thread sees it: every question and message is handed to the
// window's thread, shown there, and the work waits for the answer. Called on the window's thread
// it passes straight through.
#include "base/Desktop.h"

#include <QObject>

namespace ui {

class WindowThreadDesktop : public base::Desktop {
public:
    // inner answers on the window's thread: the thread this object is made on.
    explicit WindowThreadDesktop(base::Desktop& inner);

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

private:
    bool OnWindowThread() const;
    // Runs call on the window's thread and waits for it; what it throws is thrown here.
    template <class Call>
    auto Marshalled(Call&& call) -> decltype(call());
    // The same for a question: the busy cursor gives way to the arrow while it is up.
    template <class Call>
    auto Asked(Call&& call) -> decltype(call());

    base::Desktop& inner_;
    QObject windowThread_;  // lives on the window's thread; queued calls run in its context
};

}  // namespace ui
