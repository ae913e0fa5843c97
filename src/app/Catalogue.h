#pragma once
// The three lists of the main window: battles by title, archives newest first.
#include <cstdint>
#include <ctime>
#include <optional>
#include <string>
#include <vector>

#include <sys/stat.h>

namespace app {

// One archive found by a fill.
struct AList {
    std::string Name;
    int32_t Time = 0;  // packed MS-DOS local date-time
};

// Appends each battle's file name, then its title (line 6). A file that cannot be read stops
// the walk with its error: fileNames then holds the failing name, titles the ones before it.
void CollectBattles(const std::string& gameDir, std::vector<std::string>& fileNames, std::vector<std::string>& titles);
// The same, with each entry's status (of what a link points to; of the link when it points nowhere)
// taken just before its title is read, for a watcher to tell later changes from what was listed.
// An entry whose status cannot be read has none (nullopt).
void CollectBattles(const std::string& gameDir, std::vector<std::string>& fileNames, std::vector<std::string>& titles,
                    std::vector<std::optional<struct stat>>& statuses);

// The archives (*.zip, *.ace, *.rar) of a directory, newest first; directories are skipped.
// A directory that does not exist gives an empty list.
std::vector<std::string> ListArchives(std::string directory);

// Size in kilobytes truncated to two decimals: 1000 bytes give "0.97 kB".
std::string FormatKilobytes(int64_t size, char decimalSeparator = '.');

struct DosDateTime {
    int Year, Month, Day, Hour, Minute, Second;
};
// Unpacks a packed MS-DOS date-time; "Invalid argument to date encode" for an impossible one.
DosDateTime DecodeDosDateTime(int32_t packed);

}  // namespace app
