#include "MemberOutput.h"

#include "turnex/unrar.h"

#include "base/SafeNames.h"

#include <atomic>
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace unrar {

namespace {

std::string FolderOf(const std::string& path)
{
    auto pos = path.find_last_of('/');
    if (pos == std::string::npos)
        return ".";
    return pos == 0 ? "/" : path.substr(0, pos);
}

std::vector<std::string> Split(const std::string& path)
{
    std::vector<std::string> parts;
    size_t pos = 0;
    while (pos <= path.size()) {
        size_t end = path.find('/', pos);
        if (end == std::string::npos)
            end = path.size();
        parts.push_back(path.substr(pos, end - pos));
        pos = end + 1;
    }
    return parts;
}

}  // namespace

int MemberOutput::Create(const std::string& target)
{
    Abort();
    struct stat st {};
    replacing_ = lstat(target.c_str(), &st) == 0;
    if (replacing_ && S_ISDIR(st.st_mode))
        return ERAR_ECREATE;
    target_ = target;
    temp_ = FolderOf(target) + "/.unrar-XXXXXX";
    fd_ = mkostemp(temp_.data(), O_CLOEXEC);
    if (fd_ < 0) {
        temp_.clear();
        return ERAR_ECREATE;
    }
    fchmod(fd_, replacing_ && S_ISREG(st.st_mode) ? (st.st_mode & 07777) : 0644);
    return ERAR_SUCCESS;
}

int MemberOutput::Write(const uint8_t* data, size_t size)
{
    while (size > 0) {
        ssize_t w = write(fd_, data, size);
        if (w < 0 && errno == EINTR)
            continue;
        if (w <= 0)
            return ERAR_EWRITE;
        data += w;
        size -= static_cast<size_t>(w);
    }
    return ERAR_SUCCESS;
}

int MemberOutput::Commit(int64_t mtime)
{
    if (mtime >= 0) {
        struct timespec times[2] = {{0, UTIME_OMIT}, {static_cast<time_t>(mtime), 0}};
        futimens(fd_, times);
    }
    // Only a file that replaces another is flushed first: a new one has nothing to lose in a crash.
    bool ok = !replacing_ || fsync(fd_) == 0;
    ok = close(fd_) == 0 && ok;
    fd_ = -1;
    if (!ok) {
        Abort();
        return ERAR_ECLOSE;
    }
    if (rename(temp_.c_str(), target_.c_str()) != 0) {
        Abort();
        return ERAR_ECREATE;
    }
    temp_.clear();
    return ERAR_SUCCESS;
}

void MemberOutput::Abort()
{
    if (fd_ >= 0)
        close(fd_);
    fd_ = -1;
    if (!temp_.empty())
        unlink(temp_.c_str());
    temp_.clear();
}

int MakeFolder(const std::string& destDir, const std::string& rel)
{
    // PrepareTarget creates and checks every folder above its last component.
    auto inner = base::PrepareTarget(destDir, rel + "/x");
    return inner ? ERAR_SUCCESS : ERAR_ECREATE;
}

bool LinkStaysInside(const std::string& rel, const std::string& target)
{
    if (target.empty() || target[0] == '/' || target.find('\0') != std::string::npos)
        return false;
    if (target.size() >= 2 && target[1] == ':')
        return false;
    std::vector<std::string> at = Split(rel);
    at.pop_back();  // the link's own name
    for (const auto& part : Split(target)) {
        if (part.empty() || part == ".")
            continue;
        if (part == "..") {
            if (at.empty())
                return false;
            at.pop_back();
        } else {
            at.push_back(part);
        }
    }
    return true;
}

int MakeSymlink(const std::string& target, const std::string& linkText)
{
    static std::atomic<unsigned> counter {0};
    const std::string folder = FolderOf(target);
    for (int attempt = 0; attempt < 100; ++attempt) {
        std::string temp = folder + "/.unrar-link-" + std::to_string(getpid()) + "-" + std::to_string(counter++);
        if (symlink(linkText.c_str(), temp.c_str()) != 0) {
            if (errno == EEXIST)
                continue;
            return ERAR_ECREATE;
        }
        if (rename(temp.c_str(), target.c_str()) != 0) {
            unlink(temp.c_str());
            return ERAR_ECREATE;
        }
        return ERAR_SUCCESS;
    }
    return ERAR_ECREATE;
}

}  // namespace unrar
