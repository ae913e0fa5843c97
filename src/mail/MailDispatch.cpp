#include "mail/MailDispatch.h"

#include "turnex/mapi.h"
#include "base/Desktop.h"
#include "base/DynLib.h"
#include "base/Paths.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cstdlib>

namespace mail {

namespace {

constexpr const char* kSendError = "Error while trying to send email";
constexpr MapiUlong kNoEntryPoint = 1;

struct MailLibrary {
    bool checked = false;
    // Kept until the process ends: the library may still be collecting a mail client it left
    // running, so it is never unloaded.
    base::LibHandle handle = nullptr;
    MapiLogonFn logon = nullptr;
    MapiSendMailFn sendMail = nullptr;
    MapiLogoffFn logoff = nullptr;
};

MailLibrary TheMailLibrary;

bool SameName(std::string_view a, std::string_view b)
{
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i])))
            return false;
    return true;
}

// The mail interface counts as installed when xdg-email, which every route to a mail client
// goes through or checks for, is on the PATH.
bool MailInterfaceInstalled()
{
    const char* env = std::getenv("PATH");
    std::string path = env ? env : "/usr/local/bin:/usr/bin:/bin";
    size_t start = 0;
    while (true) {
        size_t end = path.find(':', start);
        std::string dir = path.substr(start, end == std::string::npos ? std::string::npos : end - start);
        std::string candidate = (dir.empty() ? "." : dir) + "/xdg-email";
        struct stat st {};
        if (stat(candidate.c_str(), &st) == 0 && S_ISREG(st.st_mode) && access(candidate.c_str(), X_OK) == 0)
            return true;
        if (end == std::string::npos)
            return false;
        start = end + 1;
    }
}

// Resolved on first use and kept; a missing entry point is looked up again next time.
template <class Fn>
Fn EntryPoint(Fn& slot, const char* name)
{
    if (!slot && TheMailLibrary.handle)
        slot = reinterpret_cast<Fn>(base::GetProcAddress(TheMailLibrary.handle, name));
    return slot;
}

MapiUlong Logon(MapiHandle window, MapiHandle* session)
{
    auto fn = EntryPoint(TheMailLibrary.logon, "MAPILogon");
    if (!fn)
        return kNoEntryPoint;
    char empty[] = "";
    char password[] = "";
    return fn(window, empty, password, MAPI_LOGON_UI | MAPI_NEW_SESSION, 0, session);
}

MapiUlong SendMail(MapiHandle session, MapiHandle window, MapiMessage* message)
{
    auto fn = EntryPoint(TheMailLibrary.sendMail, "MAPISendMail");
    return fn ? fn(session, window, message, MAPI_DIALOG, 0) : kNoEntryPoint;
}

MapiUlong Logoff(MapiHandle session, MapiHandle window)
{
    auto fn = EntryPoint(TheMailLibrary.logoff, "MAPILogoff");
    return fn ? fn(session, window, 0, 0) : kNoEntryPoint;
}

// Every window of the program takes no input while the mail client's dialog is open; enabled
// again however the send ends.
class WindowsDisabled {
public:
    WindowsDisabled() { base::TheDesktop().EnableWindows(false); }
    ~WindowsDisabled() { base::TheDesktop().EnableWindows(true); }
    WindowsDisabled(const WindowsDisabled&) = delete;
    WindowsDisabled& operator=(const WindowsDisabled&) = delete;
};

}  // namespace

void MailParams::Add(std::string_view nameValue)
{
    size_t eq = nameValue.find('=');
    if (eq == std::string_view::npos || eq + 1 == nameValue.size())
        return;
    entries_.emplace_back(nameValue);
}

std::optional<std::string> MailParams::Value(std::string_view name) const
{
    for (const auto& entry : entries_) {
        size_t eq = entry.find('=');
        if (SameName(std::string_view(entry).substr(0, eq), name))
            return entry.substr(eq + 1);
    }
    return std::nullopt;
}

void LoadMailLibrary()
{
    if (TheMailLibrary.checked)
        return;
    TheMailLibrary.checked = true;
    if (MailInterfaceInstalled())
        TheMailLibrary.handle = base::LoadLibrary("MAPI32.DLL");
}

int SendMailMessage(const MailParams& params)
{
    LoadMailLibrary();
    // The mail client's windows are not ours to own.
    const MapiHandle window = 0;
    MapiHandle session = 0;
    if (Logon(window, &session) != SUCCESS_SUCCESS) {
        base::TheDesktop().MessageBox(kSendError, "Error", base::MB_OK | base::MB_ICONSTOP);
        return 0;
    }

    // The copies the message points into; they live until the send call has returned.
    std::vector<std::string> paths;
    while (auto path = params.Value("attachment" + std::to_string(paths.size())))
        paths.push_back(std::move(*path));
    std::vector<std::string> names;
    for (const auto& path : paths)
        names.push_back(base::ExtractFileName(path));
    std::vector<MapiFileDesc> files(paths.size());
    for (size_t i = 0; i < paths.size(); ++i) {
        files[i].nPosition = 0xFFFFFFFFu;
        files[i].lpszPathName = paths[i].data();
        files[i].lpszFileName = names[i].data();
    }
    std::optional<std::string> subject = params.Value("subject");
    std::optional<std::string> body = params.Value("body");

    MapiMessage message {};
    if (!files.empty()) {
        message.nFileCount = static_cast<MapiUlong>(files.size());
        message.lpFiles = files.data();
    }
    if (subject)
        message.lpszSubject = subject->data();
    if (body)
        message.lpszNoteText = body->data();

    MapiUlong result;
    {
        WindowsDisabled disabled;
        result = SendMail(session, window, &message);
    }
    Logoff(session, window);
    return static_cast<int>(result);
}

}  // namespace mail
