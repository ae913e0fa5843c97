// libmapi32.so: the simple mail interface on this desktop. A logon checks that a mail client
// can be reached; a send opens its compose window, pre-filled, and leaves the rest to the user.
#include "MailCommand.h"
#include "turnex/mapi.h"

#include "base/CodePage.h"
#include "base/Paths.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

extern char** environ;

#define MAPI_EXPORT extern "C" __attribute__((visibility("default")))

namespace mapi32 {

namespace {

// Long enough for xdg-email to fail when no client takes the message; a client that is still
// running by then is showing its compose window (some keep xdg-email waiting until they quit).
constexpr auto kClientWait = std::chrono::seconds(3);

struct Session {
    // The mailto handler's desktop file; empty when $MAILER chooses the client.
    std::string handler;
};

std::mutex SessionsLock;
std::set<Session*> Sessions;

bool IsExecutableFile(const std::string& path)
{
    struct stat st {};
    return stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) && access(path.c_str(), X_OK) == 0;
}

// The program's path as the PATH lookup of the exec call would find it, or empty.
std::string FindOnPath(const std::string& program)
{
    const char* env = std::getenv("PATH");
    std::string path = env ? env : "/usr/local/bin:/usr/bin:/bin";
    size_t start = 0;
    while (true) {
        size_t end = path.find(':', start);
        std::string dir = path.substr(start, end == std::string::npos ? std::string::npos : end - start);
        std::string candidate = (dir.empty() ? "." : dir) + "/" + program;
        if (IsExecutableFile(candidate))
            return candidate;
        if (end == std::string::npos)
            return {};
        start = end + 1;
    }
}

std::vector<char*> ArgvOf(std::vector<std::string>& args)
{
    std::vector<char*> argv;
    for (auto& a : args)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    return argv;
}

// Runs a program and returns what it wrote to its standard output (empty when it cannot run).
std::string CaptureOutput(std::vector<std::string> args)
{
    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0)
        return {};
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, fds[1], 1);
    auto argv = ArgvOf(args);
    pid_t pid = 0;
    int rc = posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    close(fds[1]);
    std::string out;
    if (rc == 0) {
        char buffer[512];
        ssize_t n;
        while ((n = read(fds[0], buffer, sizeof buffer)) > 0 || (n < 0 && errno == EINTR))
            if (n > 0)
                out.append(buffer, static_cast<size_t>(n));
        int status = 0;
        while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
        }
        if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
            out.clear();
    }
    close(fds[0]);
    return out;
}

std::string Trimmed(const std::string& text)
{
    size_t first = text.find_first_not_of(" \t\r\n");
    if (first == std::string::npos)
        return {};
    return text.substr(first, text.find_last_not_of(" \t\r\n") - first + 1);
}

// Null when no mail client can be reached.
std::unique_ptr<Session> OpenSession()
{
    if (FindOnPath("xdg-email").empty())
        return nullptr;
    auto session = std::make_unique<Session>();
    const char* mailer = std::getenv("MAILER");
    if (!mailer || !*mailer) {
        session->handler = Trimmed(CaptureOutput({"xdg-mime", "query", "default", "x-scheme-handler/mailto"}));
        // Without a client xdg-email would only say so on its standard error, and the user
        // would see nothing at all.
        if (session->handler.empty())
            return nullptr;
    }
    return session;
}

// Starts the client and waits a little: its exit code, or 0 when it is still running, which is
// then left to run on its own. -1 when it cannot be started.
int RunClient(std::vector<std::string> args)
{
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    auto argv = ArgvOf(args);
    pid_t pid = 0;
    int rc = posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (rc != 0)
        return -1;
    const auto deadline = std::chrono::steady_clock::now() + kClientWait;
    while (std::chrono::steady_clock::now() < deadline) {
        int status = 0;
        pid_t done = waitpid(pid, &status, WNOHANG);
        if (done == pid)
            return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        if (done < 0 && errno != EINTR)
            return -1;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    // Collected when it ends, so it leaves no zombie behind. The library stays loaded until the
    // process ends, so the thread's code does too.
    std::thread([pid] {
        int status = 0;
        while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
        }
    }).detach();
    return 0;
}

// A path of the program (drive letters, backslashes, UTF-8) as an absolute native path
// with every link resolved: a drive letter leads through the Wine prefix's dosdevices link, and
// the mail client would otherwise show and attach that link's name ("d:") instead of the file's.
std::string AttachmentPath(const char* programPath)
{
    std::string path = base::NativePath(programPath);
    if (!path.empty() && path.front() != '/') {
        // Relative: made absolute, which also keeps a leading dash from reading as an option.
        char cwd[4096];
        if (getcwd(cwd, sizeof cwd))
            path = std::string(cwd) + "/" + path;
    }
    // A path that does not resolve stays as it is; the existence check after this reports it.
    if (std::unique_ptr<char, decltype(&std::free)> real(realpath(path.c_str(), nullptr), &std::free); real)
        path = real.get();
    return path;
}

MapiUlong Send(const Session& session, const MapiMessage& message)
{
    Composition mail;
    if (message.lpszSubject)
        mail.subject = base::TextToUtf8(message.lpszSubject);
    if (message.lpszNoteText)
        mail.body = UnixLineBreaks(base::TextToUtf8(message.lpszNoteText));
    if (message.nFileCount > 0 && !message.lpFiles)
        return MAPI_E_FAILURE;
    for (MapiUlong i = 0; i < message.nFileCount; ++i) {
        const MapiFileDesc& file = message.lpFiles[i];
        if (!file.lpszPathName || !*file.lpszPathName)
            return MAPI_E_ATTACHMENT_NOT_FOUND;
        std::string path = AttachmentPath(file.lpszPathName);
        struct stat st {};
        if (stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode))
            return MAPI_E_ATTACHMENT_NOT_FOUND;
        mail.attachments.push_back(path);
    }

    MailClient client = session.handler.empty() ? MailClient::XdgEmail : ClientOfHandler(session.handler);
    std::string program = client == MailClient::XdgEmail ? std::string() : FindOnPath(ClientProgram(client));
    if (program.empty()) {
        client = MailClient::XdgEmail;
        program = "xdg-email";
    }
    int exitCode = RunClient(ComposeCommand(client, program, mail));
    return exitCode == 0 ? SUCCESS_SUCCESS : MAPI_E_FAILURE;
}

Session* LiveSession(MapiHandle handle)
{
    std::lock_guard lock(SessionsLock);
    auto* session = reinterpret_cast<Session*>(handle);
    return Sessions.count(session) ? session : nullptr;
}

}  // namespace

}  // namespace mapi32

using namespace mapi32;

MAPI_EXPORT MapiUlong MAPILogon(MapiHandle /*ulUIParam*/, char* /*lpszProfileName*/, char* /*lpszPassword*/,
                                MapiUlong /*flFlags*/, MapiUlong /*ulReserved*/, MapiHandle* lplhSession)
{
    if (!lplhSession)
        return MAPI_E_FAILURE;
    *lplhSession = 0;
    auto session = OpenSession();
    if (!session)
        return MAPI_E_LOGIN_FAILURE;
    std::lock_guard lock(SessionsLock);
    Sessions.insert(session.get());
    *lplhSession = reinterpret_cast<MapiHandle>(session.release());
    return SUCCESS_SUCCESS;
}

MAPI_EXPORT MapiUlong MAPISendMail(MapiHandle lhSession, MapiHandle /*ulUIParam*/, MapiMessage* lpMessage,
                                   MapiUlong /*flFlags*/, MapiUlong /*ulReserved*/)
{
    // Whatever the flags, the message only ever opens in the compose window: the user sends it.
    if (!lpMessage)
        return MAPI_E_FAILURE;
    if (lhSession == 0) {
        // No session: one just for this message.
        auto session = OpenSession();
        if (!session)
            return MAPI_E_LOGIN_FAILURE;
        return Send(*session, *lpMessage);
    }
    Session* session = LiveSession(lhSession);
    if (!session)
        return MAPI_E_INVALID_SESSION;
    return Send(*session, *lpMessage);
}

MAPI_EXPORT MapiUlong MAPILogoff(MapiHandle lhSession, MapiHandle /*ulUIParam*/, MapiUlong /*flFlags*/,
                                 MapiUlong /*ulReserved*/)
{
    std::lock_guard lock(SessionsLock);
    auto* session = reinterpret_cast<Session*>(lhSession);
    if (!Sessions.erase(session))
        return MAPI_E_INVALID_SESSION;
    delete session;
    return SUCCESS_SUCCESS;
}
