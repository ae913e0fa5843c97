#include "MemberWriter.h"

#include "Paths.h"

#include <algorithm>
#include <atomic>
#include <cctype>
#include <ctime>
#include <dirent.h>
#include <string_view>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <fcntl.h>
#include <functional>
#include <random>
#include <sys/stat.h>
#include <unistd.h>

namespace base {

namespace {

// Makes something under a fresh hidden name in folder: make(name) returns false with errno set
// when it failed. Taken names are skipped; the name made, or "" on any other failure.
std::string MakeUnderFreshName(const std::string& folder, const std::function<bool(const std::string&)>& make)
{
    static const uint64_t seed = (static_cast<uint64_t>(std::random_device {}()) << 32) ^ std::random_device {}();
    static std::atomic<uint64_t> counter {0};
    for (int attempt = 0; attempt < 100; ++attempt) {
        char suffix[17];
        std::snprintf(suffix, sizeof suffix, "%016llx",
                      static_cast<unsigned long long>(seed ^ (counter++ * 0x9E3779B97F4A7C15ull)));
        const std::string name = folder + "/.turnex-" + suffix;
        if (make(name))
            return name;
        if (errno != EEXIST)
            break;
    }
    return {};
}

}  // namespace

namespace {

bool IsRewriteTemporaryName(const std::string& name)
{
    constexpr std::string_view prefix = ".turnex-";
    if (name.size() != prefix.size() + 16 || name.compare(0, prefix.size(), prefix) != 0)
        return false;
    return std::all_of(name.begin() + static_cast<std::ptrdiff_t>(prefix.size()), name.end(),
                       [](char c) { return std::isxdigit(static_cast<unsigned char>(c)) != 0; });
}

}  // namespace

int RemoveAbandonedTemporaries(const std::string& folder, long maxAgeSeconds)
{
    DIR* dir = opendir(folder.c_str());
    if (!dir)
        return 0;
    const std::time_t now = std::time(nullptr);
    int removed = 0;
    while (const dirent* entry = readdir(dir)) {
        const std::string name = entry->d_name;
        struct stat st {};
        if (!IsRewriteTemporaryName(name) || fstatat(dirfd(dir), name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0 ||
            S_ISDIR(st.st_mode) || now - st.st_mtime <= maxAgeSeconds)
            continue;
        if (unlinkat(dirfd(dir), name.c_str(), 0) == 0)
            ++removed;
    }
    closedir(dir);
    return removed;
}

bool FlushToDisk(int fd)
{
    // A file system that cannot flush has nothing to wait for.
    return fsync(fd) == 0 || errno == EINVAL || errno == EROFS;
}

MemberWriteResult MemberWriter::Fail(MemberWriteResult result, int error)
{
    systemError_ = error;
    return result;
}

MemberWriteResult MemberWriter::Open(const std::string& target)
{
    Discard();
    replacedMode_.reset();
    systemError_ = 0;
    struct stat st {};
    if (lstat(target.c_str(), &st) == 0) {
        if (S_ISDIR(st.st_mode))
            return Fail(MemberWriteResult::CannotCreate, EISDIR);
        if (S_ISREG(st.st_mode))
            replacedMode_ = st.st_mode & 0777;
    }
    // Created with 0644 so that a new file gets the umask's say without asking for it.
    temp_ = MakeUnderFreshName(NativeFolderOf(target), [this](const std::string& name) {
        fd_ = open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
        return fd_ >= 0;
    });
    if (temp_.empty())
        return Fail(MemberWriteResult::CannotCreate, errno);
    target_ = target;
    return MemberWriteResult::Ok;
}

MemberWriteResult MemberWriter::Write(const void* data, size_t size)
{
    const auto* p = static_cast<const char*>(data);
    if (fd_ < 0 && size > 0)
        return Fail(MemberWriteResult::CannotWrite, EBADF);
    while (size > 0) {
        const ssize_t w = write(fd_, p, size);
        if (w < 0 && errno == EINTR)
            continue;
        // A write that makes no headway has met a full disk.
        if (w <= 0)
            return Fail(MemberWriteResult::CannotWrite, w < 0 ? errno : ENOSPC);
        p += w;
        size -= static_cast<size_t>(w);
    }
    return MemberWriteResult::Ok;
}

MemberWriteResult MemberWriter::Commit(const MemberStamp& stamp)
{
    if (fd_ < 0)
        return Fail(MemberWriteResult::CannotWrite, EBADF);
    if (const auto mode = stamp.mode ? stamp.mode : replacedMode_)
        fchmod(fd_, *mode & 0777);
    if (stamp.modified) {
        const struct timespec times[2] = {{*stamp.modified, 0}, {*stamp.modified, 0}};
        futimens(fd_, times);
    }
    // Flushed before it takes its name, so what a library reports as extracted is on the disk.
    const bool flushed = FlushToDisk(fd_);
    int error = flushed ? 0 : errno;
    const bool closed = close(fd_) == 0;
    if (!closed && error == 0)
        error = errno;
    fd_ = -1;
    if (!flushed || !closed) {
        Discard();
        return Fail(MemberWriteResult::CannotFlush, error);
    }
    if (rename(temp_.c_str(), target_.c_str()) != 0) {
        error = errno;
        Discard();
        return Fail(MemberWriteResult::CannotPlace, error);
    }
    temp_.clear();
    return MemberWriteResult::Ok;
}

void MemberWriter::Discard()
{
    if (fd_ >= 0)
        close(fd_);
    fd_ = -1;
    if (!temp_.empty())
        unlink(temp_.c_str());
    temp_.clear();
}

}  // namespace base
