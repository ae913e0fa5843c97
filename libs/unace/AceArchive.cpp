#include "AceArchive.h"

#include "AceDecoder.h"

#include <cstring>
#include <zlib.h>

namespace ace {

namespace {

constexpr uint8_t kSignature[7] = {'*', '*', 'A', 'C', 'E', '*', '*'};
// A self-extractor stub is never longer than this.
constexpr size_t kSfxScanLimit = 512 * 1024;

uint16_t U16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }
uint32_t U32(const uint8_t* p)
{
    return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) | (static_cast<uint32_t>(p[2]) << 16) |
           (static_cast<uint32_t>(p[3]) << 24);
}
uint64_t U64(const uint8_t* p) { return U32(p) | (static_cast<uint64_t>(U32(p + 4)) << 32); }

// A block whose prefix and header bytes lie inside the data and whose header CRC matches.
bool ValidHeaderAt(std::span<const uint8_t> data, size_t pos)
{
    if (pos > data.size() || data.size() - pos < 4)
        return false;
    const uint8_t* p = data.data() + pos;
    uint16_t size = U16(p + 2);
    if (data.size() - pos - 4 < size || size < 3)
        return false;
    return (Crc32(p + 4, size) & 0xFFFF) == U16(p);
}

}  // namespace

const char* StatusText(Status status)
{
    switch (status) {
    case Status::Ok: return "ok";
    case Status::NotAce: return "not an ACE archive";
    case Status::Truncated: return "truncated";
    case Status::CorruptHeader: return "corrupt header";
    case Status::CorruptData: return "corrupt data";
    case Status::CrcError: return "CRC error";
    case Status::Unsupported: return "unsupported";
    case Status::Encrypted: return "encrypted member";
    case Status::MultiVolume: return "multi-volume archives are not supported";
    case Status::UnsafeName: return "unsafe member name";
    case Status::WriteError: return "write error";
    }
    return "?";
}

uint32_t Crc32(const uint8_t* data, size_t size, uint32_t crc)
{
    // zlib's CRC is the same register inverted before and after.
    uLong z = ~crc & 0xFFFFFFFFu;
    while (size > 0) {
        uInt n = size > 0x40000000u ? 0x40000000u : static_cast<uInt>(size);
        z = crc32(z, data, n);
        data += n;
        size -= n;
    }
    return ~static_cast<uint32_t>(z);
}

bool AceArchive::ParseMainHeader(size_t pos)
{
    if (!ValidHeaderAt(data_, pos))
        return false;
    const uint8_t* p = data_.data() + pos;
    uint16_t size = U16(p + 2);
    if (size < 26 || p[4] != 0 || std::memcmp(p + 7, kSignature, 7) != 0)
        return false;
    uint16_t flags = U16(p + 5);
    if (flags & 0x0001)  // a main header never has additional data
        return false;
    start_ = pos;
    mainFlags_ = flags;
    verExtract_ = p[14];
    host_ = p[16];
    return true;
}

Status AceArchive::Open(std::span<const uint8_t> data)
{
    data_ = data;
    members_.clear();
    comment_.clear();
    isAce_ = false;

    bool found = data.size() >= 14 && std::memcmp(data.data() + 7, kSignature, 7) == 0 && ParseMainHeader(0);
    if (!found) {
        size_t limit = std::min(data.size(), kSfxScanLimit);
        for (size_t p = 7; !found && p + 7 <= limit; ++p) {
            const void* hit = std::memchr(data.data() + p, '*', limit - p);
            if (!hit)
                break;
            p = static_cast<size_t>(static_cast<const uint8_t*>(hit) - data.data());
            if (p >= 7 && p + 7 <= data.size() && std::memcmp(data.data() + p, kSignature, 7) == 0)
                found = ParseMainHeader(p - 7);
        }
    }
    if (!found)
        return Status::NotAce;
    isAce_ = true;

    // The main header: AV string and comment are read whatever the AV flag says.
    {
        const uint8_t* p = data_.data() + start_;
        size_t end = 4 + static_cast<size_t>(U16(p + 2));
        size_t at = 30;
        if (end > at) {
            at += 1 + static_cast<size_t>(p[30]);
            if ((mainFlags_ & 0x0002) && at + 2 <= end) {
                size_t commentSize = U16(p + at);
                at += 2;
                if (at + commentSize <= end) {
                    if (auto text = DecodeComment(std::span<const uint8_t>(p + at, commentSize)))
                        comment_ = std::move(*text);
                }
            }
        }
    }
    if (verExtract_ > 20)
        return Status::Unsupported;

    size_t pos = start_ + 4 + U16(data_.data() + start_ + 2);
    while (pos < data_.size()) {
        if (data_.size() - pos < 4)
            return Status::Truncated;
        const uint8_t* p = data_.data() + pos;
        size_t headSize = U16(p + 2);
        if (data_.size() - pos - 4 < headSize)
            return Status::Truncated;
        if (headSize < 3)
            return Status::CorruptHeader;
        if ((Crc32(p + 4, headSize) & 0xFFFF) != U16(p))
            return Status::CorruptHeader;
        const size_t end = 4 + headSize;  // header bytes are p[0 .. end)
        uint8_t type = p[4];
        uint16_t flags = U16(p + 5);
        bool wide = (flags & 0x0004) != 0;
        uint64_t addSize = 0;
        if (flags & 0x0001) {
            size_t need = 7 + (wide ? 8 : 4);
            if (end < need)
                return Status::CorruptHeader;
            addSize = wide ? U64(p + 7) : U32(p + 7);
        }
        if (type == 0)
            return Status::CorruptHeader;  // a second main header
        if (type == 1 || type == 3) {
            if (!(flags & 0x0001) || wide != (type == 3))
                return Status::CorruptHeader;
            const size_t shift = wide ? 8 : 0;
            if (end < 35 + shift)
                return Status::CorruptHeader;
            Member m;
            m.flags = flags;
            m.packSize = addSize;
            m.origSize = wide ? U64(p + 15) : U32(p + 11);
            const uint8_t* q = p + shift;
            m.fileTime = U32(q + 15);
            uint32_t attr = U32(q + 19);
            m.attributes = host_ == 0 ? (attr & 0xFF) : (attr & 0xFFFF);
            m.crc = U32(q + 23);
            m.method = q[27];
            m.dictBits = static_cast<uint8_t>((U16(q + 29) & 15) + 10);
            size_t nameSize = U16(q + 33);
            size_t at = 35 + shift;
            if (at + nameSize > end)
                return Status::CorruptHeader;
            m.name.assign(reinterpret_cast<const char*>(p + at), nameSize);
            if (auto nul = m.name.find('\0'); nul != std::string::npos)
                m.name.resize(nul);
            at += nameSize;
            if (flags & 0x0002) {
                if (at + 2 > end || at + 2 + U16(p + at) > end)
                    return Status::CorruptHeader;
                at += 2 + U16(p + at);
            }
            if (flags & 0x0400) {
                if (at + 2 > end || at + 2 + U16(p + at) > end)
                    return Status::CorruptHeader;
            }
            m.dataOffset = pos + end;
            if (addSize > data_.size() - m.dataOffset)
                return Status::Truncated;
            members_.push_back(std::move(m));
        } else if (type == 2 || type == 4 || type == 5) {
            if (!(flags & 0x0001))
                return Status::CorruptHeader;
        }
        if (addSize > data_.size() - (pos + end))
            return Status::Truncated;
        pos += end + static_cast<size_t>(addSize);
    }
    return Status::Ok;
}

Status AceArchive::CheckExtractable() const
{
    if (IsMultiVolume())
        return Status::MultiVolume;
    for (const auto& m : members_)
        if (m.IsSplit())
            return Status::MultiVolume;
    for (const auto& m : members_)
        if (m.IsEncrypted())
            return Status::Encrypted;
    for (const auto& m : members_) {
        if (m.IsDirectory())
            continue;
        if (m.method > 2 || m.dictBits > 22)
            return Status::Unsupported;
        if (m.method == 0 && m.packSize < m.origSize)
            return Status::CorruptHeader;
    }
    return Status::Ok;
}

}  // namespace ace
