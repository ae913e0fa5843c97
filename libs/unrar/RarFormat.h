#pragma once
// The header walk of both RAR layouts (the 1.5-4 block format and RAR5), done here rather than by
// the decoders: neither decoder reports names, links, encryption, hashes and comments for every
// archive, and each member must be checked against its own header.
#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace unrar {

enum class Format { Rar4, Rar5 };
enum class LinkKind { None, Symlink, WinSymlink, Junction, HardLink, FileCopy };

// The archive file, read by offset. Small reads (the header walk reads a few bytes at a time, and
// headers twice) are served from a window of the file read in one go.
class Source {
public:
    explicit Source(int fd);
    int64_t Size() const { return size_; }
    // Exactly n bytes at off, or false (past the end, or an I/O error: see IoError).
    bool Read(int64_t off, void* buf, size_t n);
    bool IoError() const { return ioError_; }

private:
    bool ReadFile(int64_t off, char* buf, size_t n);

    static constexpr size_t kWindow = 64 * 1024;
    int fd_;
    int64_t size_ = 0;
    bool ioError_ = false;
    std::vector<char> window_;
    int64_t windowStart_ = 0;
};

struct Member {
    int64_t headerOffset = 0;
    int64_t dataOffset = 0;
    uint64_t packSize = 0;
    uint64_t unpSize = 0;
    bool unpSizeKnown = true;
    std::string name;    // UTF-8, "/" separated
    unsigned flags = 0;  // RAR 1.5-4 file header flags; RAR5 mapped onto them
    unsigned hostOS = 0;
    unsigned attr = 0;
    uint32_t dosTime = 0;
    int64_t mtime = -1;  // seconds since the epoch, -1 when not stored
    unsigned unpVer = 0;
    unsigned method = 0;    // 0x30 stored .. 0x35 best
    uint64_t compInfo = 0;  // RAR5 compression information, as stored
    bool hasCrc = false;
    uint32_t crc = 0;
    bool hasBlake = false;
    std::array<uint8_t, 32> blake {};
    bool isDir = false;
    bool encrypted = false;
    bool splitBefore = false;
    bool splitAfter = false;
    LinkKind link = LinkKind::None;
    std::string linkTarget;  // RAR5 redirections; a RAR 1.5-4 symlink keeps its target in its data
    uint64_t fileIndex = 0;  // ordinal among the archive's file headers
};

struct ArchiveInfo {
    Format format = Format::Rar4;
    bool solid = false;
    bool volume = false;
    bool newNumbering = false;
    bool encryptedHeaders = false;
    int64_t start = 0;  // offset of the signature: past the program of a self-extracting archive
};

// A comment as found in the archive, still packed unless stored.
struct PackedComment {
    std::string data;
    uint64_t unpSize = 0;
    unsigned unpVer = 0;
    unsigned method = 0x30;  // RAR 1.5-4 method byte
    uint64_t compInfo = 0;   // RAR5
    uint32_t crc = 0;
    bool hasCrc = false;
    bool crc16 = false;  // old comment blocks keep only the low 16 bits
};

class HeaderWalker {
public:
    explicit HeaderWalker(Source& src) : src_(src) {}
    // Signature and main header, at the start of the file or behind the program of a
    // self-extracting archive. ERAR_SUCCESS, ERAR_BAD_ARCHIVE (not RAR), ERAR_UNKNOWN_FORMAT,
    // ERAR_BAD_DATA (main header broken), ERAR_MISSING_PASSWORD (headers encrypted), ERAR_EREAD.
    int Open();
    const ArchiveInfo& Info() const { return info_; }
    // The archive comment, looked for in the main header and the blocks before the first member.
    std::optional<PackedComment> FindComment();
    // The next member. ERAR_SUCCESS, ERAR_END_ARCHIVE, ERAR_BAD_DATA (header broken), ERAR_EREAD.
    int Next(Member& m);

private:
    int OpenAt(int64_t start);
    int FindBehindProgram();
    int Next4(Member& m, PackedComment* comment);
    int Next5(Member& m, PackedComment* comment);
    int ReadHeader5(std::string& h, size_t& p);
    bool ParseFile4(const std::string& h, Member& m);
    bool ParseFile5(const std::string& h, size_t pos, uint64_t extraSize, Member& m);

    Source& src_;
    ArchiveInfo info_;
    int64_t pos_ = 0;
    int64_t firstBlock_ = 0;
    uint64_t fileCount_ = 0;
    bool ended_ = false;
    std::optional<PackedComment> mainComment_;
};

// RAR 1.5-4 names with the UNICODE flag: the 8-bit name, a zero, then the packed UTF-16 name.
std::string DecodeRar4Name(const std::string& raw, bool unicodeFlag, unsigned hostOS);

}  // namespace unrar
