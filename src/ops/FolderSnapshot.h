#pragma once
// What a list shows of its folder, taken at one moment: every entry whose name the list looks
// for, with what tells a rewrite (size, modification time, the file itself). Two snapshots
// compared say which names came, went or changed, so a folder that only looked busy (a game
// writing its own files, a file read) refills nothing.
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include <sys/stat.h>

namespace ops {

struct EntryStamp {
    int64_t size = 0;
    int64_t modifiedNs = 0;  // nanoseconds since the epoch
    uint64_t device = 0;
    uint64_t inode = 0;  // a file renamed over the old one is another file, whatever its time
    bool folder = false;

    bool operator==(const EntryStamp&) const = default;
};

// Names exactly as the disk holds them.
using FolderSnapshot = std::map<std::string, EntryStamp>;

// The wildcards of the files the lists are made from: battle files, and the three kinds of archive.
const std::vector<std::string>& BattlePatterns();
const std::vector<std::string>& ArchivePatterns();

// The entries of a native folder that match one of the patterns (case-insensitive, as the lists
// match them). A folder that cannot be read gives an empty snapshot.
FolderSnapshot TakeSnapshot(const std::string& nativeFolder, const std::vector<std::string>& patterns);

// The same from statuses taken already (by a fill, as it read each entry), one per name; a name
// without a status is left out, as a folder read leaves out an entry it cannot ask.
FolderSnapshot SnapshotOf(const std::vector<std::string>& names,
                          const std::vector<std::optional<struct stat>>& statuses);

// The names that are in one snapshot only, or in both with different stamps; sorted.
std::vector<std::string> ChangedNames(const FolderSnapshot& before, const FolderSnapshot& after);

}  // namespace ops
