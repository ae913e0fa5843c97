#pragma once
// The program's own stores (turnex.dat, user.dat) are read, changed and written back by every
// running copy of turnex. A store is replaced by rename, so it cannot carry a lock itself: the
// lock lives in a file beside it ("user.dat.lock"), which is created when missing and never
// removed, so that every copy locks the same file.
#include <string>

namespace base {

// Holds an exclusive advisory lock on "<store>.lock" from construction to destruction. The lock
// dies with the process, so a copy that crashes never blocks the others. When the folder cannot
// hold the lock file the store goes unlocked: nothing can be created or renamed there either, so
// every rewrite of the store fails with its own message anyway.
class StoreLock {
public:
    explicit StoreLock(const std::string& storePath);
    ~StoreLock();
    StoreLock(const StoreLock&) = delete;
    StoreLock& operator=(const StoreLock&) = delete;

    bool Held() const { return fd_ >= 0; }

private:
    int fd_ = -1;
};

// The file a whole-file rewrite of path has to replace: when path is a symbolic link (the notes
// kept in a synced folder), the file it leads to, so that the rename lands beside the target and
// the link stays; otherwise path itself. A link that leads nowhere yet gives where it leads.
std::string ResolveStoreTarget(const std::string& path);

}  // namespace base
