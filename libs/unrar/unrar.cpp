// The library's C interface over the header walk and the two decoders; members reach the disk
// through the member writer.
#include "turnex/unrar.h"

#include "Blake2sp.h"
#include "RarDecoders.h"
#include "RarFormat.h"

#include "base/MemberWriter.h"
#include "base/SafeNames.h"

#include <zlib.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <new>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace unrar {

namespace {

constexpr size_t kMaxLinkText = 4096;

struct Handle {
    explicit Handle(std::string path, int fd) : arcName(std::move(path)), fd(fd), src(fd), walker(src) {}
    ~Handle() { close(fd); }

    std::string arcName;
    int fd;
    Source src;
    HeaderWalker walker;
    Member cur;
    bool haveCur = false;
    std::unique_ptr<Rar4Decoder> d4;
    std::unique_ptr<Rar5Decoder> d5;
};

void CopyField(char* field, size_t capacity, const std::string& value)
{
    size_t n = std::min(value.size(), capacity - 1);
    std::memcpy(field, value.data(), n);
    field[n] = '\0';
}

// Checks the unpacked data against the header: size, CRC32 and BLAKE2sp as stored.
class Checker {
public:
    explicit Checker(const Member& m) : m_(m) {}
    void Add(const uint8_t* data, size_t n)
    {
        size_ += n;
        if (m_.hasCrc)
            crc_ = crc32(crc_, data, static_cast<uInt>(n));
        if (m_.hasBlake)
            blake_.Update(data, n);
    }
    bool Matches()
    {
        if (m_.unpSizeKnown && size_ != m_.unpSize)
            return false;
        if (m_.hasCrc && static_cast<uint32_t>(crc_) != m_.crc)
            return false;
        if (m_.hasBlake) {
            uint8_t digest[32];
            blake_.Final(digest);
            if (std::memcmp(digest, m_.blake.data(), 32) != 0)
                return false;
        }
        return true;
    }

private:
    const Member& m_;
    uint64_t size_ = 0;
    uLong crc_ = crc32(0, nullptr, 0);
    Blake2sp blake_;
};

// The library's result for a step of the member writer.
int ResultOf(base::MemberWriteResult result)
{
    switch (result) {
    case base::MemberWriteResult::Ok: return ERAR_SUCCESS;
    case base::MemberWriteResult::CannotWrite: return ERAR_EWRITE;
    case base::MemberWriteResult::CannotFlush: return ERAR_ECLOSE;
    case base::MemberWriteResult::CannotCreate:
    case base::MemberWriteResult::CannotPlace: return ERAR_ECREATE;
    }
    return ERAR_ECREATE;
}

// A member's time on the disk: nothing when the archive does not store one.
base::MemberStamp StampOf(const Member& m)
{
    base::MemberStamp stamp;
    if (m.mtime >= 0)
        stamp.modified = static_cast<std::time_t>(m.mtime);
    return stamp;
}

// The name of the volume after path: "x.part1.rar" -> "x.part2.rar", "x.rar" -> "x.r00" -> "x.r01".
std::string NextVolumeName(const std::string& path, bool newNumbering)
{
    std::string name = path;
    size_t slash = name.find_last_of('/');
    size_t dot = name.find_last_of('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash))
        return name + ".r00";
    if (newNumbering) {
        // The last run of digits before the extension counts up.
        size_t end = dot;
        while (end > 0 && !std::isdigit(static_cast<unsigned char>(name[end - 1])))
            --end;
        if (end > 0 && (slash == std::string::npos || end > slash + 1)) {
            size_t i = end;
            while (i > 0 && std::isdigit(static_cast<unsigned char>(name[i - 1]))) {
                if (name[i - 1] != '9') {
                    ++name[i - 1];
                    return name;
                }
                name[i - 1] = '0';
                --i;
            }
            name.insert(name.begin() + static_cast<std::ptrdiff_t>(i), '1');
            return name;
        }
    }
    std::string ext = name.substr(dot + 1);
    if (ext.size() == 3 && std::isdigit(static_cast<unsigned char>(ext[1])) &&
        std::isdigit(static_cast<unsigned char>(ext[2]))) {
        int n = (ext[1] - '0') * 10 + (ext[2] - '0') + 1;
        if (n < 100) {
            name[dot + 2] = static_cast<char>('0' + n / 10);
            name[dot + 3] = static_cast<char>('0' + n % 10);
        } else {
            name[dot + 1] = static_cast<char>(ext[0] + 1);
            name[dot + 2] = name[dot + 3] = '0';
        }
        return name;
    }
    return name.substr(0, dot) + ".r00";
}

bool VersionSupported(const Handle& h, const Member& m)
{
    if (h.walker.Info().format == Format::Rar5)
        return (m.compInfo & 0x3F) == 0;
    // RAR 1.5 compression (version 15) is read by neither decoder; stored data needs none.
    return m.method == 0x30 || (m.unpVer >= 20 && m.unpVer <= 36);
}

// Stored data is read straight from the archive: no decoder has anything to add to it.
int ReadStored(Handle& h, const Member& m, const Sink& sink)
{
    std::vector<uint8_t> buf(static_cast<size_t>(std::min<uint64_t>(m.packSize, 1 << 20)));
    for (uint64_t done = 0; done < m.packSize;) {
        const size_t n = static_cast<size_t>(std::min<uint64_t>(buf.size(), m.packSize - done));
        if (!h.src.Read(m.dataOffset + static_cast<int64_t>(done), buf.data(), n))
            return h.src.IoError() ? ERAR_EREAD : ERAR_BAD_DATA;
        if (int rc = sink(buf.data(), n); rc != ERAR_SUCCESS)
            return rc;
        done += n;
    }
    return ERAR_SUCCESS;
}

int Decode(Handle& h, const Member& m, const Sink& sink)
{
    if (m.method == 0x30 && m.packSize == m.unpSize && m.unpSizeKnown)
        return ReadStored(h, m, sink);
    if (h.walker.Info().format == Format::Rar4) {
        if (!h.d4)
            h.d4 = std::make_unique<Rar4Decoder>(h.arcName, h.walker.Info().solid, h.walker.Info().start);
        return h.d4->Decode(m, sink);
    }
    if (!h.d5)
        h.d5 = std::make_unique<Rar5Decoder>(h.arcName, h.walker.Info().start);
    return h.d5->Decode(m, sink);
}

// Unpacks the member through the checker into out (or nowhere when out is null).
int UnpackChecked(Handle& h, const Member& m, base::MemberWriter* out)
{
    Checker check(m);
    int rc = Decode(h, m, [&](const uint8_t* data, size_t n) {
        check.Add(data, n);
        return out ? ResultOf(out->Write(data, n)) : ERAR_SUCCESS;
    });
    if (rc == ERAR_SUCCESS && !check.Matches())
        rc = ERAR_BAD_DATA;
    return rc;
}

int LinkText(Handle& h, const Member& m, std::string& text)
{
    if (h.walker.Info().format == Format::Rar5) {
        text = m.linkTarget;
        if (m.link == LinkKind::WinSymlink || m.link == LinkKind::Junction)
            std::replace(text.begin(), text.end(), '\\', '/');
        return ERAR_SUCCESS;
    }
    if (m.unpSize > kMaxLinkText)
        return ERAR_BAD_DATA;
    Checker check(m);
    int rc = Decode(h, m, [&](const uint8_t* data, size_t n) {
        check.Add(data, n);
        text.append(reinterpret_cast<const char*>(data), n);
        return ERAR_SUCCESS;
    });
    if (rc == ERAR_SUCCESS && !check.Matches())
        rc = ERAR_BAD_DATA;
    return rc;
}

// A hard link or file copy of RAR5 becomes an independent copy of a file already in the destination.
int CopyWithin(const std::string& dest, const Member& m, const std::string& target, bool extract)
{
    auto fromRel = base::SafeRelativePath(m.linkTarget);
    if (!fromRel)
        return ERAR_ECREATE;
    auto from = base::PrepareTarget(dest, *fromRel);
    if (!from)
        return ERAR_ECREATE;
    int in = open(from->c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
    if (in < 0)
        return ERAR_ECREATE;
    struct stat st {};
    if (fstat(in, &st) != 0 || !S_ISREG(st.st_mode)) {
        close(in);
        return ERAR_ECREATE;
    }
    if (!extract) {
        close(in);
        return ERAR_SUCCESS;
    }
    base::MemberWriter out;
    int rc = ResultOf(out.Open(target));
    std::vector<uint8_t> buf(1 << 16);
    while (rc == ERAR_SUCCESS) {
        ssize_t n = read(in, buf.data(), buf.size());
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            rc = ERAR_EREAD;
        if (n <= 0)
            break;
        rc = ResultOf(out.Write(buf.data(), static_cast<size_t>(n)));
    }
    close(in);
    if (rc == ERAR_SUCCESS)
        rc = ResultOf(out.Commit(StampOf(m)));
    return rc;
}

int Process(Handle& h, int operation, const char* destPath, const char* destName)
{
    if (!h.haveCur)
        return ERAR_UNKNOWN;
    h.haveCur = false;
    const Member& m = h.cur;
    if (operation == RAR_SKIP)
        return ERAR_SUCCESS;
    if (operation != RAR_TEST && operation != RAR_EXTRACT)
        return ERAR_UNKNOWN;
    const bool extract = operation == RAR_EXTRACT;
    if (m.encrypted)
        return ERAR_MISSING_PASSWORD;  // neither decoder decrypts RAR
    if (m.splitBefore)
        return ERAR_EOPEN;  // the earlier volume holding its start is not open
    if (m.splitAfter && !m.isDir) {
        struct stat st {};
        if (stat(NextVolumeName(h.arcName, h.walker.Info().newNumbering).c_str(), &st) != 0)
            return ERAR_EOPEN;
        return ERAR_UNKNOWN_FORMAT;  // members spanning volumes are not joined
    }
    if (!m.isDir && m.link == LinkKind::None && !VersionSupported(h, m))
        return ERAR_UNKNOWN_FORMAT;

    const std::string dest = destPath && *destPath ? destPath : ".";
    std::string target;
    std::string rel;
    if (extract) {
        if (destName && *destName) {
            target = destName;
            rel = target.substr(target.find_last_of('/') + 1);  // npos + 1 is 0
        } else {
            auto safe = base::SafeRelativePath(m.name);
            if (!safe)
                return ERAR_ECREATE;
            rel = *safe;
            if (m.isDir)
                return base::PrepareFolder(dest, rel) ? ERAR_SUCCESS : ERAR_ECREATE;
            auto prepared = base::PrepareTarget(dest, rel);
            if (!prepared)
                return ERAR_ECREATE;
            target = *prepared;
        }
    }
    if (m.isDir)
        return ERAR_SUCCESS;

    switch (m.link) {
    case LinkKind::None: break;
    case LinkKind::HardLink:
    case LinkKind::FileCopy: return CopyWithin(dest, m, target, extract);
    default: {
        std::string text;
        if (int rc = LinkText(h, m, text); rc != ERAR_SUCCESS)
            return rc;
        if (!extract)
            return ERAR_SUCCESS;
        if (!base::LinkStaysInside(rel, text))
            return ERAR_ECREATE;
        return ResultOf(base::PlaceSymlink(target, text));
    }
    }

    if (!extract)
        return UnpackChecked(h, m, nullptr);
    // The target is replaced only once the member's checksums matched.
    base::MemberWriter out;
    if (int rc = ResultOf(out.Open(target)); rc != ERAR_SUCCESS)
        return rc;
    if (int rc = UnpackChecked(h, m, &out); rc != ERAR_SUCCESS)
        return rc;
    return ResultOf(out.Commit(StampOf(m)));
}

}  // namespace

}  // namespace unrar

using unrar::Handle;

extern "C" {

void* RAROpenArchive(RAROpenArchiveData* r)
{
    if (!r)
        return nullptr;
    r->CmtSize = 0;
    r->CmtState = 0;
    if (!r->ArcName) {
        r->OpenResult = ERAR_EOPEN;
        return nullptr;
    }
    int fd = open(r->ArcName, O_RDONLY | O_CLOEXEC);
    struct stat st {};
    if (fd < 0 || fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        if (fd >= 0)
            close(fd);
        r->OpenResult = ERAR_EOPEN;
        return nullptr;
    }
    try {
        auto h = std::make_unique<Handle>(r->ArcName, fd);
        if (int rc = h->walker.Open(); rc != ERAR_SUCCESS) {
            r->OpenResult = static_cast<unsigned>(rc);
            return nullptr;
        }
        if (r->CmtBuf && r->CmtBufSize > 0) {
            if (auto packed = h->walker.FindComment()) {
                if (auto text = unrar::UnpackComment(*packed, h->walker.Info().format)) {
                    if (auto zero = text->find('\0'); zero != std::string::npos)
                        text->resize(zero);
                    const bool fits = text->size() < r->CmtBufSize;
                    unrar::CopyField(r->CmtBuf, r->CmtBufSize, *text);
                    r->CmtSize = fits ? static_cast<unsigned>(text->size() + 1) : r->CmtBufSize;
                    r->CmtState = fits ? 1 : ERAR_SMALL_BUF;
                } else {
                    r->CmtState = ERAR_BAD_DATA;
                }
            }
        }
        r->OpenResult = ERAR_SUCCESS;
        return h.release();
    } catch (const std::bad_alloc&) {
        r->OpenResult = ERAR_NO_MEMORY;
    } catch (...) {
        r->OpenResult = ERAR_UNKNOWN;
    }
    return nullptr;
}

int RARCloseArchive(void* handle)
{
    delete static_cast<Handle*>(handle);
    return ERAR_SUCCESS;
}

int RARReadHeader(void* handle, RARHeaderData* hd)
{
    if (!handle)
        return ERAR_UNKNOWN;
    auto& h = *static_cast<Handle*>(handle);
    try {
        h.haveCur = false;
        if (int rc = h.walker.Next(h.cur); rc != ERAR_SUCCESS)
            return rc;
        h.haveCur = true;
        if (hd) {
            const auto& m = h.cur;
            unrar::CopyField(hd->ArcName, sizeof hd->ArcName, h.arcName);
            unrar::CopyField(hd->FileName, sizeof hd->FileName, m.name);
            hd->Flags = m.flags;
            hd->PackSize = static_cast<unsigned>(m.packSize);
            hd->UnpSize = static_cast<unsigned>(m.unpSize);
            hd->HostOS = m.hostOS;
            hd->FileCRC = m.hasCrc ? m.crc : 0;
            hd->FileTime = m.dosTime;
            hd->UnpVer = m.unpVer;
            hd->Method = m.method;
            hd->FileAttr = m.attr;
            hd->CmtSize = 0;
            hd->CmtState = 0;
        }
        return ERAR_SUCCESS;
    } catch (const std::bad_alloc&) {
        return ERAR_NO_MEMORY;
    } catch (...) {
        return ERAR_UNKNOWN;
    }
}

int RARProcessFile(void* handle, int operation, char* destPath, char* destName)
{
    if (!handle)
        return ERAR_UNKNOWN;
    try {
        return unrar::Process(*static_cast<Handle*>(handle), operation, destPath, destName);
    } catch (const std::bad_alloc&) {
        return ERAR_NO_MEMORY;
    } catch (...) {
        return ERAR_UNKNOWN;
    }
}

}  // extern "C"
