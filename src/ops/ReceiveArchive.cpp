#include "ops/ReceiveArchive.h"

#include "base/Files.h"
#include "base/MemberWriter.h"
#include "base/Paths.h"
#include "ops/Tab.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace ops {

namespace {

// Why a read or write failed, in the player's words.
std::string Reason(int error)
{
    switch (error) {
    case ENOSPC:
    case EDQUOT: return "the disk is full";
    case EACCES:
    case EPERM: return "access denied";
    case EROFS: return "the disk is read-only";
    case ENOENT: return "file not found";
    case EFBIG: return "the file is too large";
    case EISDIR: return "a folder of that name is in the way";
    default: return std::strerror(error);
    }
}

struct FileCloser {
    int fd;
    ~FileCloser()
    {
        if (fd >= 0)
            close(fd);
    }
};

// The last component of a native path, where only "/" separates (a folder's address may end in
// one); a backslash or colon is part of a name here.
std::string LastComponent(std::string path)
{
    while (path.size() > 1 && path.back() == '/')
        path.pop_back();
    const auto slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

class Receiver {
public:
    Receiver(app::ConfigState& config, base::Desktop& desktop) : desktop_(desktop)
    {
        folder_ = FolderOf(config, Tab::Incoming);
        if (folder_.empty())
            folderProblem_ = "no incoming folder is set for this game. Choose one under Options.";
        else if (!base::DirectoryExists(folder_))
            folderProblem_ = "the incoming folder " + folder_ + " does not exist.";
    }

    void Take(const DroppedFile& item)
    {
        if (item.localPath.empty()) {
            Refuse(item.address, "it is not a file on this computer.");
            return;
        }
        const std::string name = LastComponent(item.localPath);
        struct stat source {};
        if (stat(item.localPath.c_str(), &source) != 0) {
            Fail(name, "it cannot be read (" + Reason(errno) + ").");
            return;
        }
        if (S_ISDIR(source.st_mode)) {
            Refuse(name, "it is a folder, not an archive.");
            return;
        }
        if (!IsReceivableArchive(name)) {
            Refuse(name, "only .zip, .rar and .ace archives go into the incoming folder.");
            return;
        }
        if (!S_ISREG(source.st_mode)) {
            Fail(name, "it cannot be read (not a plain file).");
            return;
        }
        // The folder's values are joined with backslashes: one in the name would make it a path.
        if (name.find('\\') != std::string::npos) {
            Refuse(name, "a name with a backslash cannot be kept in the incoming folder.");
            return;
        }
        if (!folderProblem_.empty()) {
            Fail(name, folderProblem_);
            return;
        }
        CopyIn(item.localPath, source, name);
    }

    ReceiveOutcome outcome;

private:
    void Refuse(const std::string& name, const std::string& why)
    {
        outcome.notReceived += (outcome.notReceived.empty() ? "" : "\n") + name + " was not received: " + why;
    }
    void Fail(const std::string& name, const std::string& why)
    {
        Refuse(name, why);
        outcome.failed = true;
    }

    void CopyIn(const std::string& sourcePath, const struct stat& source, const std::string& name)
    {
        // Resolved as the games' platform resolves names: an archive that differs only in letter
        // case is the same archive, and is the one replaced.
        const std::string target = base::NativePath(JoinPath(folder_, name));
        const std::string targetName = LastComponent(target);
        struct stat present {};
        if (stat(target.c_str(), &present) == 0) {
            if (present.st_dev == source.st_dev && present.st_ino == source.st_ino) {
                outcome.received.push_back(targetName);  // dropped from the incoming folder itself
                return;
            }
            if (S_ISDIR(present.st_mode)) {
                Fail(name, "a folder of that name is in the incoming folder.");
                return;
            }
            if (desktop_.MessageBox(targetName + " is already in the incoming folder. Replace it?", "Replace file",
                                    base::MB_YESNO) != base::IDYES)
                return;
        }
        const FileCloser in {open(sourcePath.c_str(), O_RDONLY | O_CLOEXEC)};
        if (in.fd < 0) {
            Fail(name, "it cannot be read (" + Reason(errno) + ").");
            return;
        }
        base::MemberWriter out;
        const auto writeFailed = [&] {
            Fail(name, "it could not be written into " + folder_ + " (" + Reason(out.SystemError()) +
                           "). The incoming folder is as it was.");
        };
        if (out.Open(target) != base::MemberWriteResult::Ok) {
            writeFailed();
            return;
        }
        std::string buffer(1 << 20, '\0');
        for (;;) {
            const ssize_t got = read(in.fd, buffer.data(), buffer.size());
            if (got < 0 && errno == EINTR)
                continue;
            if (got < 0) {
                Fail(name, "it cannot be read (" + Reason(errno) + "). The incoming folder is as it was.");
                return;  // the writer removes its temporary file
            }
            if (got == 0)
                break;
            if (out.Write(buffer.data(), static_cast<size_t>(got)) != base::MemberWriteResult::Ok) {
                writeFailed();
                return;
            }
        }
        if (out.Commit() != base::MemberWriteResult::Ok) {
            writeFailed();
            return;
        }
        outcome.received.push_back(targetName);
    }

    base::Desktop& desktop_;
    std::string folder_;         // as stored
    std::string folderProblem_;  // why nothing can go into it, or empty
};

}  // namespace

bool IsReceivableArchive(std::string_view name)
{
    for (const char* pattern : {"*.zip", "*.rar", "*.ace"})
        if (base::WildcardMatch(pattern, name))
            return true;
    return false;
}

ReceiveOutcome ReceiveArchives(app::ConfigState& config, const std::vector<DroppedFile>& dropped,
                               base::Desktop& desktop)
{
    Receiver receiver(config, desktop);
    for (const DroppedFile& item : dropped)
        receiver.Take(item);
    return receiver.outcome;
}

}  // namespace ops
