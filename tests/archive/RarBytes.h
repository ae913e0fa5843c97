#pragma once
// Little-endian fields, RAR5 variable-length integers and CRC32, and the minimal stored RAR
// archives that tests and benchmarks write byte by byte (no RAR writer exists on this system).
#include <cstdint>
#include <optional>
#include <string>
#include <vector>
#include <zlib.h>

namespace rarbytes {

inline void Put16(std::string& s, unsigned v)
{
    s += static_cast<char>(v & 0xFF);
    s += static_cast<char>(v >> 8 & 0xFF);
}

inline void Put32(std::string& s, uint32_t v)
{
    Put16(s, v & 0xFFFF);
    Put16(s, v >> 16);
}

inline void PutVint(std::string& s, uint64_t v)
{
    do {
        s += static_cast<char>((v & 0x7F) | (v > 0x7F ? 0x80 : 0));
        v >>= 7;
    } while (v);
}

inline uint32_t Crc(const std::string& s)
{
    return crc32(0, reinterpret_cast<const Bytef*>(s.data()), static_cast<uInt>(s.size()));
}

// One member of a stored archive.
struct Entry {
    std::string name;
    std::string data;  // a symlink's target for RAR 1.5-4 symlinks
    bool symlink = false;
    int redirType = 0;  // RAR5: 1 symlink, 4 hard link, 5 file copy
    std::string redirTarget;
    unsigned unpVer = 20;  // RAR 1.5-4 compression version; RAR5: the version bits of the compression field
    unsigned method = 0x30;
    std::string comment;                   // RAR 1.5-4: a RAR 1.5-2.0 file comment, stored inside the file header
    bool encrypted = false;                // flagged only: the data stays plain
    bool splitAfter = false;               // continues in the next volume
    std::optional<uint64_t> declaredSize;  // an unpacked size other than the data's, as a forged header claims
};

inline Entry File(const std::string& name, const std::string& data)
{
    Entry e;
    e.name = name;
    e.data = data;
    return e;
}

inline Entry Symlink4(const std::string& name, const std::string& target)
{
    Entry e = File(name, target);
    e.symlink = true;
    return e;
}

inline Entry Redirect5(const std::string& name, int type, const std::string& target)
{
    Entry e = File(name, {});
    e.redirType = type;
    e.redirTarget = target;
    return e;
}

// A RAR 1.5-4 block: the low 16 bits of the CRC32 of the rest in front.
inline std::string Block4(const std::string& body)
{
    std::string b;
    Put16(b, Crc(body) & 0xFFFF);
    return b + body;
}

// A RAR 1.5-2.0 comment block, as it sits inside a main or file header (stored, not packed).
inline std::string CommentBlock4(const std::string& text)
{
    std::string c("\x75", 1);
    Put16(c, 0);
    Put16(c, 13 + text.size());
    Put16(c, text.size());
    c += '\x14';  // version 2.0
    c += '\x30';  // stored
    Put16(c, Crc(text) & 0xFFFF);
    return Block4(c + text);
}

// The RAR 1.5-4 block layout. mainFlags: 0x0001 a volume, 0x0010 new volume numbering.
inline std::string Rar4(const std::vector<Entry>& entries, unsigned mainFlags = 0)
{
    std::string out("Rar!\x1A\x07\x00", 7);
    std::string main("\x73", 1);
    Put16(main, mainFlags);
    Put16(main, 13);
    main.append(6, '\0');
    out += Block4(main);
    for (const auto& e : entries) {
        const std::string comment = e.comment.empty() ? std::string() : CommentBlock4(e.comment);
        const uint64_t unpSize = e.declaredSize.value_or(e.data.size());
        const bool large = unpSize > 0xFFFFFFFFu;  // the high halves of both sizes follow the attributes
        std::string h("\x74", 1);
        Put16(h, 0x8000 | (e.splitAfter ? 0x02 : 0) | (e.encrypted ? 0x04 : 0) | (comment.empty() ? 0 : 0x08) |
                     (large ? 0x100 : 0));
        Put16(h, (large ? 40 : 32) + e.name.size() + comment.size());
        Put32(h, e.data.size());
        Put32(h, unpSize & 0xFFFFFFFFu);
        h += e.symlink ? '\x03' : '\x02';
        Put32(h, Crc(e.data));
        Put32(h, 0x5A210000);  // 2025-01-01
        h += static_cast<char>(e.unpVer);
        h += static_cast<char>(e.method);
        Put16(h, e.name.size());
        Put32(h, e.symlink ? 0xA1FF : 0x20);
        if (large) {
            Put32(h, 0);
            Put32(h, static_cast<uint32_t>(unpSize >> 32));
        }
        h += e.name;
        // A file comment is left out of the header CRC, as RAR 1.5-2.0 archives have it.
        out += Block4(h) + comment + e.data;
    }
    std::string end("\x7B", 1);
    Put16(end, 0x4000);
    Put16(end, 7);
    return out + Block4(end);
}

// A RAR5 header: CRC32 of the size and the body, the size, the body.
inline std::string Header5(const std::string& body)
{
    std::string sized;
    PutVint(sized, body.size());
    sized += body;
    std::string h;
    Put32(h, Crc(sized));
    return h + sized;
}

// The RAR5 layout. archiveFlags: 0x01 a volume.
inline std::string Rar5(const std::vector<Entry>& entries, unsigned archiveFlags = 0)
{
    std::string out("Rar!\x1A\x07\x01\x00", 8);
    std::string main;
    PutVint(main, 1);
    PutVint(main, 0);
    PutVint(main, archiveFlags);
    out += Header5(main);
    for (const auto& e : entries) {
        std::string extra;
        if (e.redirType) {
            std::string rec;
            PutVint(rec, 5);
            PutVint(rec, e.redirType);
            PutVint(rec, 0);
            PutVint(rec, e.redirTarget.size());
            rec += e.redirTarget;
            PutVint(extra, rec.size());
            extra += rec;
        }
        if (e.encrypted) {
            // Version 0 (AES-256), a password check value, the KDF count, salt, IV and check.
            std::string rec;
            PutVint(rec, 1);
            PutVint(rec, 0);
            PutVint(rec, 0x01);
            rec += '\x0F';
            rec.append(16 + 16 + 12, '\x5A');
            PutVint(extra, rec.size());
            extra += rec;
        }
        std::string h;
        PutVint(h, 2);
        PutVint(h, 0x02 | (extra.empty() ? 0 : 0x01) | (e.splitAfter ? 0x10 : 0));
        if (!extra.empty())
            PutVint(h, extra.size());
        PutVint(h, e.data.size());
        PutVint(h, 0x04);
        PutVint(h, e.declaredSize.value_or(e.data.size()));
        PutVint(h, e.redirType == 1 ? 0xA1FF : 0x81A4);
        Put32(h, Crc(e.data));
        PutVint(h, e.unpVer == 20 ? 0 : e.unpVer | (e.method - 0x30) << 7);
        PutVint(h, 1);
        PutVint(h, e.name.size());
        h += e.name + extra;
        out += Header5(h) + e.data;
    }
    return out + Header5(std::string("\x05\x00\x00", 3));
}

// A RAR5 archive whose headers are encrypted: the encryption header, then headers no one can
// read without the password.
inline std::string Rar5EncryptedHeaders()
{
    std::string out("Rar!\x1A\x07\x01\x00", 8);
    std::string crypt;
    PutVint(crypt, 4);
    PutVint(crypt, 0);
    PutVint(crypt, 0);     // AES-256
    PutVint(crypt, 0x01);  // a password check value follows
    crypt += '\x0F';
    crypt.append(16 + 12, '\x5A');
    out += Header5(crypt);
    for (int i = 0; i < 96; ++i)
        out += static_cast<char>(i * 37 + 11);
    return out;
}

}  // namespace rarbytes
