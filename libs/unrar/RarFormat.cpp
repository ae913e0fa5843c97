#include "RarFormat.h"

#include "turnex/unrar.h"

#include "base/CodePage.h"
#include "base/Files.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <ctime>
#include <string_view>
#include <sys/stat.h>
#include <unistd.h>
#include <zlib.h>

namespace unrar {

namespace {

// Codes of the walk's own, never returned by the library.
constexpr int kFoundComment = -1;
// Nothing in a header or a comment is larger than this; anything beyond it is damage.
constexpr uint64_t kMaxHeader = 2u << 20;
constexpr uint64_t kMaxComment = 1u << 20;
// How far into a self-extracting archive its archive is looked for: the programs in front of
// the archive are well below this.
constexpr int64_t kMaxProgram = 4 << 20;

uint32_t Crc32(const void* data, size_t n)
{
    return static_cast<uint32_t>(crc32(0, static_cast<const Bytef*>(data), static_cast<uInt>(n)));
}

unsigned Get16(const std::string& s, size_t at)
{
    return static_cast<unsigned char>(s[at]) | static_cast<unsigned char>(s[at + 1]) << 8;
}

uint32_t Get32(const std::string& s, size_t at)
{
    return static_cast<uint32_t>(Get16(s, at)) | static_cast<uint32_t>(Get16(s, at + 2)) << 16;
}

// RAR5 variable-length integer: 7 bits a byte, low bits first.
bool GetVint(const std::string& s, size_t& pos, uint64_t& value)
{
    value = 0;
    for (int shift = 0; shift < 64 && pos < s.size(); shift += 7) {
        uint8_t b = static_cast<uint8_t>(s[pos++]);
        value |= static_cast<uint64_t>(b & 0x7F) << shift;
        if (!(b & 0x80))
            return true;
    }
    return false;
}

// Where the name of a RAR 1.5-4 file header ends; 0 when the header is too short for its fields.
size_t FileNameEnd4(const std::string& h)
{
    const size_t nameAt = (Get16(h, 3) & 0x0100) ? 40 : 32;
    if (h.size() < nameAt)
        return 0;
    const size_t end = nameAt + Get16(h, 26);
    return end <= h.size() ? end : 0;
}

// The header CRC covers the whole header, except where a RAR 1.5-2.0 file comment sits inside it
// behind the name: there it covers the fields up to the end of the name. The relaxed rule holds
// only when a well-formed comment block does fill the rest of the header.
bool FileHeaderCrcMatches4(const std::string& h)
{
    const unsigned crc = Get16(h, 0);
    if ((Crc32(h.data() + 2, h.size() - 2) & 0xFFFF) == crc)
        return true;
    const size_t nameEnd = FileNameEnd4(h);
    if (!(Get16(h, 3) & 0x0008) || nameEnd == 0 || nameEnd + 13 > h.size())
        return false;
    const unsigned commentSize = Get16(h, nameEnd + 5);
    if (static_cast<uint8_t>(h[nameEnd + 2]) != 0x75 || commentSize < 13 || nameEnd + commentSize > h.size())
        return false;
    return (Crc32(h.data() + 2, nameEnd - 2) & 0xFFFF) == crc;
}

}  // namespace

Source::Source(int fd) : fd_(fd)
{
    struct stat st {};
    if (fstat(fd, &st) == 0)
        size_ = st.st_size;
}

bool Source::Read(int64_t off, void* buf, size_t n)
{
    if (off < 0 || off > size_ || static_cast<uint64_t>(size_ - off) < n)
        return false;
    if (n == 0)
        return true;  // an empty file has no window to copy from
    auto* out = static_cast<char*>(buf);
    if (n > kWindow)
        return ReadFile(off, out, n);
    const auto inWindow = [&] {
        return off >= windowStart_ &&
               off + static_cast<int64_t>(n) <= windowStart_ + static_cast<int64_t>(window_.size());
    };
    if (!inWindow()) {
        window_.resize(static_cast<size_t>(std::min<int64_t>(kWindow, size_ - off)));
        windowStart_ = off;
        if (!ReadFile(off, window_.data(), window_.size())) {
            window_.clear();
            return false;
        }
    }
    std::memcpy(out, window_.data() + (off - windowStart_), n);
    return true;
}

bool Source::ReadFile(int64_t off, char* p, size_t n)
{
    while (n > 0) {
        ssize_t got = pread(fd_, p, n, off);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0) {
            ioError_ = got < 0;
            return false;
        }
        p += got;
        off += got;
        n -= static_cast<size_t>(got);
    }
    return true;
}

std::string DecodeRar4Name(const std::string& raw, bool unicodeFlag, unsigned hostOS)
{
    std::string name;
    size_t zero = raw.find('\0');
    if (unicodeFlag && zero != std::string::npos && zero + 1 < raw.size()) {
        // The 8-bit name supplies the low bytes that the packed form leaves out.
        const std::string ascii = raw.substr(0, zero);
        const std::string enc = raw.substr(zero + 1);
        std::u16string out;
        size_t pos = 0;
        const unsigned high = static_cast<unsigned char>(enc[pos++]);
        unsigned flags = 0;
        int flagBits = 0;
        const size_t maxLen = 1024;
        while (pos < enc.size() && out.size() < maxLen) {
            if (flagBits == 0) {
                flags = static_cast<unsigned char>(enc[pos++]);
                flagBits = 8;
                if (pos >= enc.size() && (flags >> 6) != 3)
                    break;
            }
            switch (flags >> 6) {
            case 0:
                if (pos >= enc.size())
                    goto done;
                out += static_cast<char16_t>(static_cast<unsigned char>(enc[pos++]));
                break;
            case 1:
                if (pos >= enc.size())
                    goto done;
                out += static_cast<char16_t>(static_cast<unsigned char>(enc[pos++]) + (high << 8));
                break;
            case 2:
                if (pos + 1 >= enc.size())
                    goto done;
                out += static_cast<char16_t>(static_cast<unsigned char>(enc[pos]) |
                                             static_cast<unsigned char>(enc[pos + 1]) << 8);
                pos += 2;
                break;
            case 3: {
                if (pos >= enc.size())
                    goto done;
                unsigned length = static_cast<unsigned char>(enc[pos++]);
                if (length & 0x80) {
                    if (pos >= enc.size())
                        goto done;
                    unsigned correction = static_cast<unsigned char>(enc[pos++]);
                    for (length = (length & 0x7F) + 2; length > 0 && out.size() < maxLen; --length) {
                        unsigned low = out.size() < ascii.size() ? static_cast<unsigned char>(ascii[out.size()]) : 0;
                        out += static_cast<char16_t>(((low + correction) & 0xFF) + (high << 8));
                    }
                } else {
                    for (length += 2; length > 0 && out.size() < maxLen; --length)
                        out += static_cast<char16_t>(
                            out.size() < ascii.size() ? static_cast<unsigned char>(ascii[out.size()]) : 0);
                }
                break;
            }
            }
            flags = (flags << 2) & 0xFF;
            flagBits -= 2;
        }
    done:
        if (auto zero = out.find(u'\0'); zero != std::u16string::npos)
            out.resize(zero);
        name = base::Utf16ToUtf8(out);
    } else {
        name = raw.substr(0, zero);
        // Old tools wrote OEM names; newer ones on other hosts write UTF-8, which is kept.
        if (hostOS != 3 && !base::IsValidUtf8(name))
            name = base::OemToUtf8(name);
    }
    for (auto& c : name)
        if (c == '\\')
            c = '/';
    return name;
}

int HeaderWalker::Open()
{
    uint8_t sig[4] {};
    const size_t have = static_cast<size_t>(std::min<int64_t>(4, src_.Size()));
    if (!src_.Read(0, sig, have))
        return src_.IoError() ? ERAR_EREAD : ERAR_BAD_ARCHIVE;
    if (have == 4 && std::memcmp(sig, "RE~^", 4) == 0)
        return ERAR_UNKNOWN_FORMAT;  // before RAR 1.5
    // A self-extracting archive is a Windows or Linux program with the archive behind it.
    static const uint8_t kElf[4] = {0x7F, 'E', 'L', 'F'};
    if ((have >= 2 && std::memcmp(sig, "MZ", 2) == 0) || (have == 4 && std::memcmp(sig, kElf, 4) == 0))
        return FindBehindProgram();
    return OpenAt(0);
}

int HeaderWalker::FindBehindProgram()
{
    std::string head(static_cast<size_t>(std::min<int64_t>(src_.Size(), kMaxProgram + 8)), '\0');
    if (!src_.Read(0, head.data(), head.size()))
        return src_.IoError() ? ERAR_EREAD : ERAR_BAD_ARCHIVE;
    const std::string_view signature("Rar!\x1A\x07", 6);
    for (size_t at = head.find(signature); at != std::string::npos; at = head.find(signature, at + 1)) {
        // Only the two known layouts: the bytes of a later one inside the program prove nothing.
        if (at + 6 >= head.size() || (head[at + 6] != 0x00 && head[at + 6] != 0x01))
            continue;
        const int rc = OpenAt(static_cast<int64_t>(at));
        if (rc == ERAR_SUCCESS || rc == ERAR_MISSING_PASSWORD || rc == ERAR_EREAD)
            return rc;
        // The program may carry the signature bytes itself (it looks for its archive too): a
        // candidate counts only when a sound main header follows it.
    }
    info_ = ArchiveInfo {};
    mainComment_.reset();
    return ERAR_BAD_ARCHIVE;
}

int HeaderWalker::OpenAt(int64_t start)
{
    info_ = ArchiveInfo {};
    info_.start = start;
    mainComment_.reset();
    uint8_t sig[8] {};
    const size_t have = static_cast<size_t>(std::min<int64_t>(8, src_.Size() - start));
    if (!src_.Read(start, sig, have))
        return src_.IoError() ? ERAR_EREAD : ERAR_BAD_ARCHIVE;
    static const uint8_t kRar[6] = {0x52, 0x61, 0x72, 0x21, 0x1A, 0x07};
    if (have < 7 || std::memcmp(sig, kRar, 6) != 0)
        return ERAR_BAD_ARCHIVE;
    if (sig[6] == 0x00) {
        info_.format = Format::Rar4;
        std::string h(7, '\0');
        if (!src_.Read(start + 7, h.data(), 7))
            return src_.IoError() ? ERAR_EREAD : ERAR_BAD_DATA;
        unsigned size = Get16(h, 5);
        if (static_cast<uint8_t>(h[2]) != 0x73 || size < 13)
            return ERAR_BAD_DATA;
        h.resize(size);
        if (!src_.Read(start + 7, h.data(), size))
            return src_.IoError() ? ERAR_EREAD : ERAR_BAD_DATA;
        const unsigned crc = Get16(h, 0);
        // Archives with an old comment inside the main header cover only its fixed part.
        if ((Crc32(h.data() + 2, size - 2) & 0xFFFF) != crc && (Crc32(h.data() + 2, 11) & 0xFFFF) != crc)
            return ERAR_BAD_DATA;
        const unsigned flags = Get16(h, 3);
        info_.volume = flags & 0x0001;
        info_.solid = flags & 0x0008;
        info_.newNumbering = flags & 0x0010;
        info_.encryptedHeaders = flags & 0x0080;
        if (info_.encryptedHeaders)
            return ERAR_MISSING_PASSWORD;
        if ((flags & 0x0002) && size >= 13 + 13 && static_cast<uint8_t>(h[15]) == 0x75) {
            const std::string c = h.substr(13);
            unsigned csize = Get16(c, 5);
            if (csize >= 13 && csize <= c.size()) {
                PackedComment pc;
                pc.unpSize = Get16(c, 7);
                pc.unpVer = static_cast<uint8_t>(c[9]);
                pc.method = static_cast<uint8_t>(c[10]);
                pc.crc = Get16(c, 11);
                pc.hasCrc = pc.crc16 = true;
                pc.data = c.substr(13, csize - 13);
                mainComment_ = pc;
            }
        }
        pos_ = start + 7 + size;
    } else if (sig[6] == 0x01 && have == 8 && sig[7] == 0x00) {
        info_.format = Format::Rar5;
        pos_ = start + 8;
        // The main header, or the encryption header of an archive whose headers are encrypted.
        std::string h;
        size_t p = 0;
        if (const int r = ReadHeader5(h, p); r != ERAR_SUCCESS)
            return r;
        uint64_t type = 0, hflags = 0, extra = 0, dataSize = 0, arcFlags = 0;
        if (!GetVint(h, p, type) || !GetVint(h, p, hflags))
            return ERAR_BAD_DATA;
        if (type == 4) {
            info_.encryptedHeaders = true;
            return ERAR_MISSING_PASSWORD;
        }
        if (type != 1 || ((hflags & 1) && !GetVint(h, p, extra)) || ((hflags & 2) && !GetVint(h, p, dataSize)) ||
            !GetVint(h, p, arcFlags))
            return ERAR_BAD_DATA;
        info_.volume = arcFlags & 0x01;
        info_.newNumbering = true;
        info_.solid = arcFlags & 0x04;
        pos_ += 4 + static_cast<int64_t>(h.size());
        if (dataSize > static_cast<uint64_t>(src_.Size()))
            return ERAR_BAD_DATA;
        pos_ += static_cast<int64_t>(dataSize);
    } else {
        return ERAR_UNKNOWN_FORMAT;  // a later layout than RAR5
    }
    firstBlock_ = pos_;
    return ERAR_SUCCESS;
}

std::optional<PackedComment> HeaderWalker::FindComment()
{
    if (mainComment_)
        return mainComment_;
    const int64_t pos = pos_;
    const uint64_t count = fileCount_;
    const bool ended = ended_;
    PackedComment comment;
    Member m;
    int rc = info_.format == Format::Rar4 ? Next4(m, &comment) : Next5(m, &comment);
    pos_ = pos;
    fileCount_ = count;
    ended_ = ended;
    if (rc == kFoundComment)
        return comment;
    return std::nullopt;
}

int HeaderWalker::Next(Member& m)
{
    if (ended_)
        return ERAR_END_ARCHIVE;
    int rc = info_.format == Format::Rar4 ? Next4(m, nullptr) : Next5(m, nullptr);
    if (rc != ERAR_SUCCESS)
        ended_ = true;
    return rc;
}

bool HeaderWalker::ParseFile4(const std::string& h, Member& m)
{
    if (h.size() < 32)
        return false;
    const unsigned flags = Get16(h, 3);
    m.packSize = Get32(h, 7);
    m.unpSize = Get32(h, 11);
    m.hostOS = static_cast<uint8_t>(h[15]);
    m.crc = Get32(h, 16);
    m.hasCrc = true;
    m.dosTime = Get32(h, 20);
    m.mtime = base::UnpackDosDateTime(m.dosTime).value_or(-1);
    m.unpVer = static_cast<uint8_t>(h[24]);
    m.method = static_cast<uint8_t>(h[25]);
    const unsigned nameSize = Get16(h, 26);
    m.attr = Get32(h, 28);
    size_t off = 32;
    if (flags & 0x0100) {
        if (h.size() < 40)
            return false;
        m.packSize |= static_cast<uint64_t>(Get32(h, 32)) << 32;
        m.unpSize |= static_cast<uint64_t>(Get32(h, 36)) << 32;
        off = 40;
    }
    if (off + nameSize > h.size())
        return false;
    m.flags = flags & 0x7FFF;
    m.name = DecodeRar4Name(h.substr(off, nameSize), flags & 0x0200, m.hostOS);
    m.isDir = (flags & 0x00E0) == 0x00E0 || ((m.hostOS == 0 || m.hostOS == 2) && (m.attr & 0x10));
    m.encrypted = flags & 0x0004;
    m.splitBefore = flags & 0x0001;
    m.splitAfter = flags & 0x0002;
    m.link = m.hostOS == 3 && (m.attr & 0xF000) == 0xA000 ? LinkKind::Symlink : LinkKind::None;
    m.linkTarget.clear();
    m.unpSizeKnown = true;
    m.hasBlake = false;
    m.compInfo = 0;
    return true;
}

int HeaderWalker::Next4(Member& m, PackedComment* comment)
{
    for (;;) {
        const int64_t size = src_.Size();
        if (pos_ >= size)
            return ERAR_END_ARCHIVE;  // old archives may end without an end block
        std::string h(7, '\0');
        if (!src_.Read(pos_, h.data(), 7))
            return src_.IoError() ? ERAR_EREAD : ERAR_BAD_DATA;
        const unsigned type = static_cast<uint8_t>(h[2]);
        const unsigned flags = Get16(h, 3);
        const unsigned hsize = Get16(h, 5);
        if (hsize < 7)
            return ERAR_BAD_DATA;
        const bool fileLike = type == 0x74 || type == 0x7A;
        uint64_t addSize = 0;
        if (fileLike || (flags & 0x8000)) {
            if (hsize < 11)
                return ERAR_BAD_DATA;
            h.resize(hsize);
            if (!src_.Read(pos_, h.data(), hsize))
                return src_.IoError() ? ERAR_EREAD : ERAR_BAD_DATA;
            addSize = Get32(h, 7);
            if (fileLike && (flags & 0x0100) && hsize >= 36)
                addSize |= static_cast<uint64_t>(Get32(h, 32)) << 32;
        }
        if (addSize > static_cast<uint64_t>(size))
            return ERAR_BAD_DATA;  // claims more than the whole file
        const int64_t next = pos_ + hsize + static_cast<int64_t>(addSize);
        if (type == 0x74 || (type == 0x7A && comment)) {
            if (h.size() < hsize) {
                h.resize(hsize);
                if (!src_.Read(pos_, h.data(), hsize))
                    return src_.IoError() ? ERAR_EREAD : ERAR_BAD_DATA;
            }
            if (!FileHeaderCrcMatches4(h))
                return ERAR_BAD_DATA;
            if (!ParseFile4(h, m))
                return ERAR_BAD_DATA;
            m.headerOffset = pos_;
            m.dataOffset = pos_ + hsize;
            if (type == 0x7A) {
                if (m.name == "CMT" && m.packSize <= kMaxComment) {
                    comment->data.assign(m.packSize, '\0');
                    if (!src_.Read(m.dataOffset, comment->data.data(), comment->data.size()))
                        return ERAR_BAD_DATA;
                    comment->unpSize = m.unpSize;
                    comment->unpVer = m.unpVer;
                    comment->method = m.method;
                    comment->crc = m.crc;
                    comment->hasCrc = true;
                    return kFoundComment;
                }
            } else {
                m.fileIndex = fileCount_++;
                pos_ = next;
                return ERAR_SUCCESS;
            }
        } else if (type == 0x75 && comment) {
            h.resize(hsize);
            if (hsize < 13 || !src_.Read(pos_, h.data(), hsize))
                return ERAR_BAD_DATA;
            comment->unpSize = Get16(h, 7);
            comment->unpVer = static_cast<uint8_t>(h[9]);
            comment->method = static_cast<uint8_t>(h[10]);
            comment->crc = Get16(h, 11);
            comment->hasCrc = comment->crc16 = true;
            comment->data = h.substr(13);
            return kFoundComment;
        } else if (type == 0x7B) {
            return ERAR_END_ARCHIVE;
        } else if (type < 0x72 || type > 0x7B) {
            return ERAR_BAD_DATA;
        }
        pos_ = next;
    }
}

bool HeaderWalker::ParseFile5(const std::string& h, size_t pos, uint64_t extraSize, Member& m)
{
    uint64_t fileFlags = 0, unpSize = 0, attr = 0, compInfo = 0, host = 0, nameLen = 0;
    if (!GetVint(h, pos, fileFlags) || !GetVint(h, pos, unpSize) || !GetVint(h, pos, attr))
        return false;
    m.mtime = -1;
    m.hasCrc = false;
    if (fileFlags & 0x02) {
        if (pos + 4 > h.size())
            return false;
        m.mtime = Get32(h, pos);
        pos += 4;
    }
    if (fileFlags & 0x04) {
        if (pos + 4 > h.size())
            return false;
        m.crc = Get32(h, pos);
        m.hasCrc = true;
        pos += 4;
    }
    if (!GetVint(h, pos, compInfo) || !GetVint(h, pos, host) || !GetVint(h, pos, nameLen) || nameLen > h.size() - pos)
        return false;
    m.name = h.substr(pos, nameLen);
    if (auto zero = m.name.find('\0'); zero != std::string::npos)
        m.name.resize(zero);
    pos += nameLen;
    if (extraSize > h.size() - pos)
        return false;
    m.unpSize = unpSize;
    m.unpSizeKnown = !(fileFlags & 0x08);
    m.attr = static_cast<unsigned>(attr);
    m.compInfo = compInfo;
    m.hostOS = host == 0 ? 2 : host == 1 ? 3 : static_cast<unsigned>(host & 0xFF);
    m.unpVer = (compInfo & 0x3F) == 0 ? 50 : 70;
    m.method = 0x30 + static_cast<unsigned>((compInfo >> 7) & 7);
    m.isDir = fileFlags & 0x01;
    m.encrypted = false;
    m.hasBlake = false;
    m.link = LinkKind::None;
    m.linkTarget.clear();
    // Extra records: size, type, body.
    size_t e = h.size() - static_cast<size_t>(extraSize);
    while (e < h.size()) {
        uint64_t recSize = 0, recType = 0;
        if (!GetVint(h, e, recSize) || recSize == 0 || recSize > h.size() - e)
            return false;
        const std::string rec = h.substr(e, static_cast<size_t>(recSize));
        e += static_cast<size_t>(recSize);
        size_t r = 0;
        if (!GetVint(rec, r, recType))
            return false;
        if (recType == 1) {
            m.encrypted = true;
        } else if (recType == 2) {
            uint64_t hashType = 0;
            if (GetVint(rec, r, hashType) && hashType == 0 && r + 32 <= rec.size()) {
                std::memcpy(m.blake.data(), rec.data() + r, 32);
                m.hasBlake = true;
            }
        } else if (recType == 3) {
            uint64_t tflags = 0;
            if (GetVint(rec, r, tflags) && (tflags & 0x02)) {
                if ((tflags & 0x01) && r + 4 <= rec.size())
                    m.mtime = Get32(rec, r);
                else if (!(tflags & 0x01) && r + 8 <= rec.size()) {
                    uint64_t ft = Get32(rec, r) | static_cast<uint64_t>(Get32(rec, r + 4)) << 32;
                    m.mtime = static_cast<int64_t>(ft / 10000000) - 11644473600LL;
                }
            }
        } else if (recType == 5) {
            uint64_t redirType = 0, redirFlags = 0, len = 0;
            if (!GetVint(rec, r, redirType) || !GetVint(rec, r, redirFlags) || !GetVint(rec, r, len) ||
                len > rec.size() - r)
                return false;
            m.linkTarget = rec.substr(r, len);
            switch (redirType) {
            case 1: m.link = LinkKind::Symlink; break;
            case 2: m.link = LinkKind::WinSymlink; break;
            case 3: m.link = LinkKind::Junction; break;
            case 4: m.link = LinkKind::HardLink; break;
            case 5: m.link = LinkKind::FileCopy; break;
            default: m.link = LinkKind::WinSymlink; break;  // unknown kinds are never followed
            }
        }
    }
    m.flags = 0;
    if (m.isDir)
        m.flags |= RHDF_DIRECTORY;
    if (compInfo & 0x40)
        m.flags |= RHDF_SOLID;
    if (m.encrypted)
        m.flags |= RHDF_ENCRYPTED;
    m.dosTime = m.mtime >= 0 ? static_cast<uint32_t>(base::PackDosDateTime(static_cast<std::time_t>(m.mtime))) : 0;
    return true;
}

// One RAR5 block header at pos_: its CRC32, the vint size, and the header bytes that follow
// (p comes back just behind the size field). ERAR_SUCCESS, ERAR_BAD_DATA or ERAR_EREAD.
int HeaderWalker::ReadHeader5(std::string& h, size_t& p)
{
    uint8_t crcBytes[4];
    if (!src_.Read(pos_, crcBytes, 4))
        return src_.IoError() ? ERAR_EREAD : ERAR_BAD_DATA;
    std::string sizeBytes(static_cast<size_t>(std::min<int64_t>(3, src_.Size() - pos_ - 4)), '\0');
    if (sizeBytes.empty() || !src_.Read(pos_ + 4, sizeBytes.data(), sizeBytes.size()))
        return ERAR_BAD_DATA;
    p = 0;
    uint64_t hsize = 0;
    if (!GetVint(sizeBytes, p, hsize) || hsize == 0 || hsize > kMaxHeader)
        return ERAR_BAD_DATA;
    h.assign(p + hsize, '\0');
    if (!src_.Read(pos_ + 4, h.data(), h.size()))
        return src_.IoError() ? ERAR_EREAD : ERAR_BAD_DATA;
    const uint32_t crc = static_cast<uint32_t>(crcBytes[0]) | crcBytes[1] << 8 | crcBytes[2] << 16 |
                         static_cast<uint32_t>(crcBytes[3]) << 24;
    return Crc32(h.data(), h.size()) == crc ? ERAR_SUCCESS : ERAR_BAD_DATA;
}

int HeaderWalker::Next5(Member& m, PackedComment* comment)
{
    for (;;) {
        const int64_t size = src_.Size();
        if (pos_ >= size)
            return ERAR_END_ARCHIVE;
        std::string h;
        size_t p = 0;
        if (const int r = ReadHeader5(h, p); r != ERAR_SUCCESS)
            return r;
        uint64_t type = 0, hflags = 0, extra = 0, dataSize = 0;
        if (!GetVint(h, p, type) || !GetVint(h, p, hflags) || ((hflags & 1) && !GetVint(h, p, extra)) ||
            ((hflags & 2) && !GetVint(h, p, dataSize)))
            return ERAR_BAD_DATA;
        const int64_t dataOffset = pos_ + 4 + static_cast<int64_t>(h.size());
        if (dataSize > static_cast<uint64_t>(size))
            return ERAR_BAD_DATA;  // claims more than the whole file
        const int64_t next = dataOffset + static_cast<int64_t>(dataSize);
        if (type == 2 || (type == 3 && comment)) {
            if (!ParseFile5(h, p, extra, m))
                return ERAR_BAD_DATA;
            m.headerOffset = pos_;
            m.dataOffset = dataOffset;
            m.packSize = dataSize;
            m.splitBefore = hflags & 0x08;
            m.splitAfter = hflags & 0x10;
            if (m.splitBefore)
                m.flags |= RHDF_SPLITBEFORE;
            if (m.splitAfter)
                m.flags |= RHDF_SPLITAFTER;
            if (type == 3) {
                if (m.name == "CMT" && dataSize <= kMaxComment) {
                    comment->data.assign(dataSize, '\0');
                    if (!src_.Read(dataOffset, comment->data.data(), comment->data.size()))
                        return ERAR_BAD_DATA;
                    comment->unpSize = m.unpSize;
                    comment->compInfo = m.compInfo;
                    comment->method = m.method;
                    comment->crc = m.crc;
                    comment->hasCrc = m.hasCrc;
                    return kFoundComment;
                }
            } else {
                m.fileIndex = fileCount_++;
                pos_ = next;
                return ERAR_SUCCESS;
            }
        } else if (type == 5) {
            return ERAR_END_ARCHIVE;
        } else if (type == 4 || type == 0) {
            return ERAR_BAD_DATA;
        }
        pos_ = next;
    }
}

}  // namespace unrar
