#include "StoreLock.h"

#include "Paths.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace base {

StoreLock::StoreLock(const std::string& storePath)
{
    const std::string lockPath = storePath + ".lock";
    fd_ = open(lockPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    if (fd_ < 0)
        return;
    while (flock(fd_, LOCK_EX) != 0) {
        if (errno == EINTR)
            continue;
        // A file system without locks: go on as a single copy would.
        close(fd_);
        fd_ = -1;
        return;
    }
}

StoreLock::~StoreLock()
{
    // Closing the last descriptor releases the lock.
    if (fd_ >= 0)
        close(fd_);
}

std::string ResolveStoreTarget(const std::string& path)
{
    // A plain file keeps its name as given, so the messages name it as the user knows it.
    struct stat st {};
    if (lstat(path.c_str(), &st) != 0 || !S_ISLNK(st.st_mode))
        return path;
    if (char* resolved = realpath(path.c_str(), nullptr)) {
        std::string result = resolved;
        std::free(resolved);
        return result;
    }
    // A link to a file not made yet: follow the links by hand, as many as the system itself
    // would follow before giving up on a loop.
    std::string current = path;
    for (int hops = 0; hops < 40; ++hops) {
        if (lstat(current.c_str(), &st) != 0 || !S_ISLNK(st.st_mode))
            return current;
        char target[PATH_MAX];
        const ssize_t n = readlink(current.c_str(), target, sizeof target - 1);
        if (n <= 0)
            return current;
        const std::string next(target, static_cast<size_t>(n));
        current = next.front() == '/' ? next : NativeFolderOf(current) + "/" + next;
    }
    return current;
}

}  // namespace base
