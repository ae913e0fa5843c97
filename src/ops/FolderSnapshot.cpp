#include "ops/FolderSnapshot.h"

#include "base/Files.h"

#include <algorithm>
#include <dirent.h>
#include <fcntl.h>
#include <memory>
#include <sys/stat.h>

namespace ops {

namespace {

struct FolderCloser {
    void operator()(DIR* d) const { closedir(d); }
};

}  // namespace

const std::vector<std::string>& BattlePatterns()
{
    static const std::vector<std::string> patterns {"*.bte"};
    return patterns;
}

const std::vector<std::string>& ArchivePatterns()
{
    static const std::vector<std::string> patterns {"*.zip", "*.ace", "*.rar"};
    return patterns;
}

namespace {

EntryStamp StampOf(const struct stat& st)
{
    EntryStamp stamp;
    stamp.size = static_cast<int64_t>(st.st_size);
    stamp.modifiedNs = static_cast<int64_t>(st.st_mtim.tv_sec) * 1'000'000'000 + st.st_mtim.tv_nsec;
    stamp.device = static_cast<uint64_t>(st.st_dev);
    stamp.inode = static_cast<uint64_t>(st.st_ino);
    stamp.folder = S_ISDIR(st.st_mode);
    return stamp;
}

}  // namespace

FolderSnapshot SnapshotOf(const std::vector<std::string>& names,
                          const std::vector<std::optional<struct stat>>& statuses)
{
    FolderSnapshot snapshot;
    for (size_t i = 0; i < names.size() && i < statuses.size(); ++i)
        if (statuses[i])
            snapshot.emplace_hint(snapshot.end(), names[i], StampOf(*statuses[i]));
    return snapshot;
}

FolderSnapshot TakeSnapshot(const std::string& nativeFolder, const std::vector<std::string>& patterns)
{
    FolderSnapshot snapshot;
    const std::unique_ptr<DIR, FolderCloser> folder(opendir(nativeFolder.empty() ? "." : nativeFolder.c_str()));
    if (!folder)
        return snapshot;
    const int fd = dirfd(folder.get());
    while (const dirent* entry = readdir(folder.get())) {
        const std::string name = entry->d_name;
        if (name == "." || name == ".." ||
            std::none_of(patterns.begin(), patterns.end(),
                         [&](const std::string& pattern) { return base::WildcardMatch(pattern, name); }))
            continue;
        // A link stands for what it points to, as the lists open it; a broken one for itself.
        struct stat st {};
        if (fstatat(fd, name.c_str(), &st, 0) != 0 && fstatat(fd, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0)
            continue;
        snapshot[name] = StampOf(st);
    }
    return snapshot;
}

std::vector<std::string> ChangedNames(const FolderSnapshot& before, const FolderSnapshot& after)
{
    std::vector<std::string> changed;
    for (const auto& [name, stamp] : before) {
        const auto now = after.find(name);
        if (now == after.end() || !(now->second == stamp))
            changed.push_back(name);
    }
    for (const auto& [name, stamp] : after)
        if (!before.contains(name))
            changed.push_back(name);
    std::sort(changed.begin(), changed.end());
    return changed;
}

}  // namespace ops
