#include "Catalogue.h"

#include "BattleFile.h"
#include "base/Errors.h"
#include "base/Files.h"
#include "base/Paths.h"

#include <algorithm>
#include <cmath>
#include <memory>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>

namespace app {

namespace {

struct FolderCloser {
    void operator()(DIR* d) const { closedir(d); }
};

// The *.bte entries of an open folder sorted by name, as base::FindFiles lists them: the kind comes
// from the directory read, and only an entry of unknown kind or a link is asked whether it exists.
std::vector<std::string> BattleNamesIn(DIR* folder)
{
    std::vector<std::string> names;
    const int fd = dirfd(folder);
    while (const dirent* e = readdir(folder)) {
        const char* name = e->d_name;
        if ((name[0] == '.' && (name[1] == 0 || (name[1] == '.' && name[2] == 0))) ||
            !base::WildcardMatch("*.bte", name))
            continue;
        struct stat st {};
        if ((e->d_type == DT_UNKNOWN || e->d_type == DT_LNK) && fstatat(fd, name, &st, 0) != 0 &&
            fstatat(fd, name, &st, AT_SYMLINK_NOFOLLOW) != 0)
            continue;
        names.emplace_back(name);
    }
    std::sort(names.begin(), names.end());
    return names;
}

}  // namespace

namespace {

void Collect(const std::string& gameDir, std::vector<std::string>& fileNames, std::vector<std::string>& titles,
             std::vector<std::optional<struct stat>>* statuses)
{
    // The game folder is resolved once (drive letter, letter case); each battle is then opened
    // relative to it, which spares a path conversion and a lookup of the whole path per file.
    const std::string native = base::NativePath(gameDir + "\\");
    const std::unique_ptr<DIR, FolderCloser> folder(opendir(native.empty() ? "." : native.c_str()));
    if (!folder)
        return;
    std::vector<std::string> names = BattleNamesIn(folder.get());
    fileNames.reserve(fileNames.size() + names.size());
    titles.reserve(titles.size() + names.size());
    if (statuses)
        statuses->reserve(statuses->size() + names.size());
    const int fd = dirfd(folder.get());
    for (auto& name : names) {
        fileNames.push_back(std::move(name));
        const char* entry = fileNames.back().c_str();
        if (statuses) {
            std::optional<struct stat> status;
            titles.push_back(ReadBattleTitleAt(fd, entry, status));
            statuses->push_back(status);
        } else {
            titles.push_back(ReadBattleTitleAt(fd, entry));
        }
    }
}

}  // namespace

void CollectBattles(const std::string& gameDir, std::vector<std::string>& fileNames, std::vector<std::string>& titles)
{
    Collect(gameDir, fileNames, titles, nullptr);
}

void CollectBattles(const std::string& gameDir, std::vector<std::string>& fileNames, std::vector<std::string>& titles,
                    std::vector<std::optional<struct stat>>& statuses)
{
    Collect(gameDir, fileNames, titles, &statuses);
}

std::vector<std::string> ListArchives(std::string directory)
{
    if (directory.empty() || directory.back() != '\\')
        directory += '\\';
    std::vector<AList> found;
    for (const char* mask : {"*.zip", "*.ace", "*.rar"}) {
        for (auto& rec : base::FindFiles(directory + mask)) {
            if (rec.Attr == base::faDirectory)
                continue;
            found.push_back({std::move(rec.Name), rec.Time});
        }
    }
    // Newest first; equal times by name so the order does not depend on the search.
    std::stable_sort(found.begin(), found.end(), [](const AList& a, const AList& b) {
        if (a.Time != b.Time)
            return a.Time > b.Time;
        return a.Name < b.Name;
    });
    std::vector<std::string> names;
    names.reserve(found.size());
    for (auto& a : found)
        names.push_back(std::move(a.Name));
    return names;
}

std::string FormatKilobytes(int64_t size, char decimalSeparator)
{
    long double kb = static_cast<long double>(size) / 1024.0L * 100.0L;
    auto k = static_cast<int64_t>(std::trunc(kb));
    std::string text = k < 0 ? "-" : "";
    uint64_t a = k < 0 ? static_cast<uint64_t>(-(k + 1)) + 1 : static_cast<uint64_t>(k);
    text += std::to_string(a / 100);
    unsigned frac = static_cast<unsigned>(a % 100);
    if (frac != 0) {
        text += decimalSeparator;
        text += static_cast<char>('0' + frac / 10);
        if (frac % 10 != 0)
            text += static_cast<char>('0' + frac % 10);
    }
    return text + " kB";
}

DosDateTime DecodeDosDateTime(int32_t packed)
{
    auto v = static_cast<uint32_t>(packed);
    DosDateTime d {};
    d.Year = static_cast<int>((v >> 25) & 0x7F) + 1980;
    d.Month = static_cast<int>((v >> 21) & 0x0F);
    d.Day = static_cast<int>((v >> 16) & 0x1F);
    d.Hour = static_cast<int>((v >> 11) & 0x1F);
    d.Minute = static_cast<int>((v >> 5) & 0x3F);
    d.Second = static_cast<int>(v & 0x1F) * 2;
    static constexpr int kDays[12] = {31, 29, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    bool leap = (d.Year % 4 == 0 && d.Year % 100 != 0) || d.Year % 400 == 0;
    if (packed == -1 || d.Month < 1 || d.Month > 12 || d.Day < 1 || d.Day > kDays[d.Month - 1] ||
        (d.Month == 2 && d.Day == 29 && !leap) || d.Hour > 23 || d.Minute > 59 || d.Second > 59)
        throw base::Exception("Invalid argument to date encode");
    return d;
}

}  // namespace app
