#pragma once
// Archives for the zip tests: byte-exact ones written here (stored members, any header values)
// and real ones made by Info-ZIP zip in a temporary folder; and what the tests of hostile
// archives look at around an extraction.
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <string>
#include <sys/mount.h>
#include <system_error>
#include <unistd.h>
#include <utility>
#include <vector>

namespace ziptest {

inline uint32_t Crc32(const std::string& data)
{
    uint32_t crc = 0xFFFFFFFFu;
    for (unsigned char c : data) {
        crc ^= c;
        for (int k = 0; k < 8; ++k)
            crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
    }
    return ~crc;
}

inline void Le(std::string& out, uint64_t v, int n)
{
    for (int i = 0; i < n; ++i)
        out += static_cast<char>((v >> (8 * i)) & 0xFF);
}

struct Member {
    Member(std::string n, std::string d) : name(std::move(n)), data(std::move(d)) {}
    std::string name;
    std::string data;
    uint8_t host = 3;
    uint8_t madeBy = 20;
    uint16_t flags = 0;
    std::string extra;
    std::string comment;
    uint32_t dosTime = 0x58A6390Au;
};

// A zip of stored members; prefix bytes go in front without moving any stored offset.
inline std::string BuildZip(const std::vector<Member>& members, const std::string& archiveComment = "",
                            const std::string& prefix = "")
{
    std::string local, central;
    for (const auto& m : members) {
        const uint32_t offset = static_cast<uint32_t>(local.size());
        const uint32_t crc = Crc32(m.data);
        Le(local, 0x04034B50, 4);
        Le(local, 20, 2);
        Le(local, m.flags, 2);
        Le(local, 0, 2);
        Le(local, m.dosTime, 4);
        Le(local, crc, 4);
        Le(local, m.data.size(), 4);
        Le(local, m.data.size(), 4);
        Le(local, m.name.size(), 2);
        Le(local, m.extra.size(), 2);
        local += m.name + m.extra + m.data;

        Le(central, 0x02014B50, 4);
        central += static_cast<char>(m.madeBy);
        central += static_cast<char>(m.host);
        Le(central, 20, 2);
        Le(central, m.flags, 2);
        Le(central, 0, 2);
        Le(central, m.dosTime, 4);
        Le(central, crc, 4);
        Le(central, m.data.size(), 4);
        Le(central, m.data.size(), 4);
        Le(central, m.name.size(), 2);
        Le(central, m.extra.size(), 2);
        Le(central, m.comment.size(), 2);
        Le(central, 0, 2);
        Le(central, 0, 2);
        Le(central, 0x81A40000u, 4);
        Le(central, offset, 4);
        central += m.name + m.extra + m.comment;
    }
    std::string end;
    Le(end, 0x06054B50, 4);
    Le(end, 0, 2);
    Le(end, 0, 2);
    Le(end, members.size(), 2);
    Le(end, members.size(), 2);
    Le(end, central.size(), 4);
    Le(end, local.size(), 4);
    Le(end, archiveComment.size(), 2);
    return prefix + local + central + end + archiveComment;
}

// Runs a shell command in a folder; true when it exits 0.
inline bool Run(const std::string& dir, const std::string& command)
{
    const std::string line = "cd '" + dir + "' && " + command + " >/dev/null 2>&1";
    return std::system(line.c_str()) == 0;
}

inline bool HaveTool(const char* name)
{
    return std::system((std::string("command -v ") + name + " >/dev/null 2>&1").c_str()) == 0;
}

// Everything below root except what lies below dest: relative names, with a file's size and a
// link's text, so that anything an extraction into dest makes or changes beside it shows.
inline std::map<std::string, std::string> Surroundings(const std::string& root, const std::string& dest)
{
    namespace fs = std::filesystem;
    std::map<std::string, std::string> out;
    std::error_code ec;
    for (auto it = fs::recursive_directory_iterator(root, ec); !ec && it != fs::recursive_directory_iterator();
         it.increment(ec)) {
        if (it->path() == fs::path(dest)) {
            it.disable_recursion_pending();
            continue;
        }
        const std::string rel = it->path().lexically_relative(root).string();
        if (it->is_symlink())
            out[rel] = "-> " + fs::read_symlink(it->path()).string();
        else if (it->is_regular_file())
            out[rel] = std::to_string(it->file_size());
        else
            out[rel] = "folder";
    }
    return out;
}

// The temporary files of unfinished members below dir.
inline std::vector<std::string> PartFiles(const std::string& dir)
{
    namespace fs = std::filesystem;
    std::vector<std::string> out;
    std::error_code ec;
    for (auto it = fs::recursive_directory_iterator(dir, ec); !ec && it != fs::recursive_directory_iterator();
         it.increment(ec)) {
        const std::string name = it->path().filename().string();
        if (name.size() > 12 && name.compare(name.size() - 12, 12, ".turnex-part") == 0)
            out.push_back(it->path().lexically_relative(dir).string());
    }
    return out;
}

// A small file system of its own at dir (a tmpfs of the given size, "256k"); root only.
class SmallDisk {
public:
    SmallDisk(const std::string& dir, const std::string& size) : dir_(dir)
    {
        std::filesystem::create_directories(dir);
        mounted_ = geteuid() == 0 && mount("tmpfs", dir.c_str(), "tmpfs", 0, ("size=" + size).c_str()) == 0;
    }
    ~SmallDisk()
    {
        // Detached even while busy: an extraction leaves the process's current directory there.
        if (mounted_)
            umount2(dir_.c_str(), MNT_DETACH);
    }
    SmallDisk(const SmallDisk&) = delete;
    SmallDisk& operator=(const SmallDisk&) = delete;
    bool Mounted() const { return mounted_; }

private:
    std::string dir_;
    bool mounted_ = false;
};

// $TMPDIR points at a folder of the test's for as long as this lives, so that whatever a library
// puts there shows in the test's surroundings.
class ScopedTmpDir {
public:
    explicit ScopedTmpDir(const std::string& dir)
    {
        std::filesystem::create_directories(dir);
        if (const char* old = std::getenv("TMPDIR")) {
            old_ = old;
            had_ = true;
        }
        setenv("TMPDIR", dir.c_str(), 1);
    }
    ~ScopedTmpDir()
    {
        if (had_)
            setenv("TMPDIR", old_.c_str(), 1);
        else
            unsetenv("TMPDIR");
    }
    ScopedTmpDir(const ScopedTmpDir&) = delete;
    ScopedTmpDir& operator=(const ScopedTmpDir&) = delete;

private:
    std::string old_;
    bool had_ = false;
};

}  // namespace ziptest
