#pragma once
// Every modal interaction of the program goes through one Desktop: the real one shows Qt
// dialogs, the scripted one of the tests records what was shown and answers from a queue.
// Texts are the program's 8-bit ANSI strings.
#include <exception>
#include <optional>
#include <stdexcept>
#include <string>

namespace base {

// Message box flags and results, in the values of the platform the program was designed for.
enum : unsigned {
    MB_OK = 0x00,
    MB_OKCANCEL = 0x01,
    MB_YESNO = 0x04,
    MB_ICONSTOP = 0x10,
    MB_ICONQUESTION = 0x20,
    MB_ICONWARNING = 0x30,
    MB_ICONINFORMATION = 0x40,
};
enum : int { IDOK = 1, IDCANCEL = 2, IDYES = 6, IDNO = 7 };

inline constexpr const char* kApplicationTitle = "Turnmail save file manager - KS";

class Desktop {
public:
    virtual ~Desktop() = default;
    // The toolkit's plain message: application title as caption, no icon, OK.
    virtual void ShowMessage(const std::string& text) = 0;
    // The platform message box with an explicit caption, icon and buttons; returns IDOK, IDYES, ...
    virtual int MessageBox(const std::string& text, const std::string& caption, unsigned flags) = 0;
    // A text-input dialog; false on Cancel. value is the preset on entry and the answer on exit.
    virtual bool InputQuery(const std::string& caption, const std::string& prompt, std::string& value,
                            int maxLength) = 0;
    // The folder browser: the chosen native folder, or nothing on cancel.
    virtual std::optional<std::string> BrowseForFolder(const std::string& title) = 0;
    // The same, opened at a folder given as stored (drive letters map through the Wine prefix),
    // or at the home folder when that does not exist. A desktop that cannot place the browser
    // opens it where it always does.
    virtual std::optional<std::string> BrowseForFolderAt(const std::string& title, const std::string& /*startFolder*/)
    {
        return BrowseForFolder(title);
    }
    // Opens the help pages at their contents page (helpFile: native path of the contents page).
    virtual void ShowHelp(const std::string& helpFile) = 0;
    // Starts a program or opens a document (program path strings, as stored: drive letters map
    // through the Wine prefix); ".exe" files run through wine. Returns why it could not start
    // (empty when it started); what the started program does afterwards is not followed.
    virtual std::string StartProgram(const std::string& file, const std::string& workDir) = 0;
    // The global error report: stop icon, OK, the application title.
    virtual void ShowError(const std::string& text) = 0;
    // The hourglass cursor while a long step runs; nothing to show by default.
    virtual void SetBusyCursor(bool /*busy*/) {}
    // Every window of the program takes input again (true) or none (false), while a dialog of
    // another program is open; nothing to do by default.
    virtual void EnableWindows(bool /*enabled*/) {}
    // Lets pending window events run in the middle of long work (repaints, a Cancel click);
    // nothing to do by default.
    virtual void LetEventsThrough() {}
    // The zip component's password prompt (masked, at most 80 characters); false on Cancel.
    virtual bool PasswordQuery(const std::string& /*caption*/, const std::string& /*prompt*/, std::string& /*value*/)
    {
        return false;
    }
};

Desktop& TheDesktop();
// The desktop is owned by the caller; tests install their scripted one.
void SetDesktop(Desktop* desktop);

// The error box text: a full stop is appended when the last character sorts above ".".
std::string ErrorBoxText(const std::string& message);
void ReportException(const std::exception& e);

// Runs a handler; whatever it throws is shown by the global error report and goes no further.
template <class F>
void Guarded(F&& handler)
{
    try {
        handler();
    } catch (const std::exception& e) {
        ReportException(e);
    } catch (...) {
        ReportException(std::runtime_error("Unknown error"));
    }
}

}  // namespace base
