#pragma once
// The container of an ACE archive: finds the main header (also behind a self-extractor stub),
// walks every block with its header CRC and lists the members. Works on bytes in memory, so the
// same code serves the library, the tests and the fuzz target.
#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace ace {

// What went wrong, from the most harmless to the most specific. The library maps these to its
// result codes.
enum class Status {
    Ok,
    NotAce,         // no valid main header
    Truncated,      // a header or the packed data runs past the end
    CorruptHeader,  // header CRC or field bounds wrong
    CorruptData,    // the packed data does not decode
    CrcError,       // decoded, but size or CRC differ from the header
    Unsupported,    // version above 2.0, unknown method, dictionary above 4 MiB
    Encrypted,
    MultiVolume,
    UnsafeName,  // a member name that would land outside the destination
    WriteError,  // the destination refused a file or folder
};

const char* StatusText(Status status);

// The ACE CRC-32: reflected 0xEDB88320, initial value all ones, no final inversion.
uint32_t Crc32(const uint8_t* data, size_t size, uint32_t crc = 0xFFFFFFFFu);

struct Member {
    std::string name;         // as stored (OEM code page, "\" separators), cut at an embedded NUL
    uint64_t dataOffset = 0;  // of the packed data within the archive bytes
    uint64_t packSize = 0;
    uint64_t origSize = 0;
    uint32_t fileTime = 0;    // MS-DOS date and time, local
    uint32_t attributes = 0;  // host-dependent garbage already masked off
    uint32_t crc = 0;
    uint16_t flags = 0;
    uint8_t method = 0;  // 0 stored, 1 LZ77, 2 blocked
    uint8_t dictBits = 10;

    bool IsDirectory() const { return (attributes & 0x10) != 0; }
    bool IsEncrypted() const { return (flags & 0x4000) != 0; }
    bool IsSplit() const { return (flags & 0x3000) != 0; }
};

class AceArchive {
public:
    // Reads every header. NotAce when no main header is found; any later fault leaves the
    // members read so far and reports the fault (IsAce() stays true).
    Status Open(std::span<const uint8_t> data);

    bool IsAce() const { return isAce_; }
    bool IsSolid() const { return (mainFlags_ & 0x8000) != 0; }
    bool IsMultiVolume() const { return (mainFlags_ & 0x0800) != 0; }
    uint8_t VersionToExtract() const { return verExtract_; }
    const std::vector<Member>& Members() const { return members_; }
    // The archive comment, decoded; empty when there is none or it does not decode.
    const std::string& Comment() const { return comment_; }

    // The packed data of a member (Open has checked it lies inside the archive).
    std::span<const uint8_t> PackedData(const Member& m) const
    {
        return data_.subspan(static_cast<size_t>(m.dataOffset), static_cast<size_t>(m.packSize));
    }

    // Whether every member can be extracted: not multi-volume, nothing encrypted, known methods.
    // The first reason it cannot, or Ok.
    Status CheckExtractable() const;

private:
    bool ParseMainHeader(size_t pos);

    std::span<const uint8_t> data_;
    std::vector<Member> members_;
    std::string comment_;
    size_t start_ = 0;
    uint16_t mainFlags_ = 0;
    uint8_t verExtract_ = 0;
    uint8_t host_ = 0;
    bool isAce_ = false;
};

}  // namespace ace
