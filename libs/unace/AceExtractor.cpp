#include "AceExtractor.h"

#include "AceDecoder.h"
#include "base/CodePage.h"
#include "base/SafeNames.h"

#include <algorithm>
#include <cerrno>
#include <memory>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace ace {

namespace {

void AppendUtf8(std::string& out, char16_t c)
{
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

std::string Folded(const std::string& name)
{
    std::string out;
    for (char c : name)
        out += c == '\\' ? '/' : static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return out;
}

// The member's MS-DOS time stamp as file time; nothing when it is out of range.
bool DosTimeToTimespec(uint32_t dos, timespec& out)
{
    std::tm tm{};
    tm.tm_year = static_cast<int>((dos >> 25) & 0x7F) + 80;
    tm.tm_mon = static_cast<int>((dos >> 21) & 0x0F) - 1;
    tm.tm_mday = static_cast<int>((dos >> 16) & 0x1F);
    tm.tm_hour = static_cast<int>((dos >> 11) & 0x1F);
    tm.tm_min = static_cast<int>((dos >> 5) & 0x3F);
    tm.tm_sec = static_cast<int>(dos & 0x1F) * 2;
    tm.tm_isdst = -1;
    if (tm.tm_mon < 0 || tm.tm_mon > 11 || tm.tm_mday < 1 || tm.tm_hour > 23 || tm.tm_min > 59 || tm.tm_sec > 59)
        return false;
    std::time_t t = std::mktime(&tm);
    if (t == static_cast<std::time_t>(-1))
        return false;
    out.tv_sec = t;
    out.tv_nsec = 0;
    return true;
}

bool WriteAll(int fd, const uint8_t* data, size_t size)
{
    while (size > 0) {
        ssize_t w = write(fd, data, size);
        if (w < 0 && errno == EINTR)
            continue;
        if (w <= 0)
            return false;
        data += w;
        size -= static_cast<size_t>(w);
    }
    return true;
}

// Writes one member through a temporary file beside its target; the target is replaced only
// when the member decoded with the right CRC.
Status WriteMember(AceDecoder& decoder, const AceArchive& archive, const Member& m, const std::string& target)
{
    std::string dir = target.substr(0, target.find_last_of('/'));
    std::string temp = dir + "/.turnex-XXXXXX";
    int fd = mkostemp(temp.data(), O_CLOEXEC);
    if (fd < 0)
        return Status::WriteError;
    struct stat old {};
    const bool replacing = lstat(target.c_str(), &old) == 0 && S_ISREG(old.st_mode);
    fchmod(fd, replacing ? (old.st_mode & 0777) : 0644);
    Status s = decoder.DecodeMember(m, archive.PackedData(m),
                                    [fd](const uint8_t* data, size_t size) { return WriteAll(fd, data, size); });
    if (s == Status::Ok) {
        timespec times[2];
        if (DosTimeToTimespec(m.fileTime, times[1])) {
            times[0] = times[1];
            futimens(fd, times);
        }
        // A good file that is being replaced must not give way to one that never reached the disk.
        if (replacing && fsync(fd) != 0 && errno != EINVAL && errno != EROFS)
            s = Status::WriteError;
    }
    if (close(fd) != 0 && s == Status::Ok)
        s = Status::WriteError;
    if (s == Status::Ok && rename(temp.c_str(), target.c_str()) != 0)
        s = Status::WriteError;
    if (s != Status::Ok)
        unlink(temp.c_str());
    return s;
}

}  // namespace

std::string MemberPath(const std::string& storedName)
{
    std::string utf8;
    for (unsigned char c : storedName) {
        if (c < 0x20 || c == 0x7F)
            return {};
        AppendUtf8(utf8, base::OemCharToUnicode(c));
    }
    // UNC names ("\\server\share") start with a separator and are refused with the absolute ones.
    auto rel = base::SafeRelativePath(utf8);
    return rel ? *rel : std::string();
}

Status ExtractArchive(std::span<const uint8_t> data, const std::string& destDir, const std::vector<std::string>& only,
                      AceDecoder* lent)
{
    AceArchive archive;
    if (Status s = archive.Open(data); s != Status::Ok)
        return s;
    if (Status s = archive.CheckExtractable(); s != Status::Ok)
        return s;

    std::vector<std::string> paths;
    for (const auto& m : archive.Members()) {
        paths.push_back(MemberPath(m.name));
        if (paths.back().empty())
            return Status::UnsafeName;
    }
    struct stat st {};
    if (stat(destDir.c_str(), &st) != 0 || !S_ISDIR(st.st_mode))
        return Status::WriteError;

    std::vector<std::string> wanted;
    for (const auto& name : only)
        if (!name.empty())
            wanted.push_back(Folded(name));
    auto selected = [&](const std::string& name) {
        if (wanted.empty())
            return true;
        std::string f = Folded(name);
        return std::find(wanted.begin(), wanted.end(), f) != wanted.end();
    };

    std::unique_ptr<AceDecoder> own;
    if (!lent)
        own = std::make_unique<AceDecoder>();
    AceDecoder& decoder = lent ? *lent : *own;
    decoder.Reset();  // nothing of an earlier archive may be referred to
    const auto& members = archive.Members();
    for (size_t i = 0; i < members.size(); ++i) {
        const Member& m = members[i];
        if (!archive.IsSolid())
            decoder.Reset();
        if (!selected(m.name)) {
            // A solid archive's later members need this one's bytes in the window.
            if (archive.IsSolid() && !m.IsDirectory()) {
                Status s = decoder.DecodeMember(m, archive.PackedData(m), [](const uint8_t*, size_t) { return true; });
                if (s != Status::Ok)
                    return s;
            }
            continue;
        }
        if (m.IsDirectory()) {
            // Preparing a name inside the folder creates the folder itself, checked like any other.
            auto probe = base::PrepareTarget(destDir, paths[i] + "/.turnex-dir");
            std::string folder = destDir + "/" + paths[i];
            if (!probe || stat(folder.c_str(), &st) != 0 || !S_ISDIR(st.st_mode))
                return Status::WriteError;
            continue;
        }
        auto target = base::PrepareTarget(destDir, paths[i]);
        if (!target)
            return Status::WriteError;
        if (Status s = WriteMember(decoder, archive, m, *target); s != Status::Ok)
            return s;
    }
    return Status::Ok;
}

}  // namespace ace
