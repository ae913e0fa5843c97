// The library's C interface over the header walk and the two decoders; members reach the disk
// through one extraction folder per destination, whose rules every archive format shares.
#include "turnex/unrar.h"

#include "DeferredLibraries.h"

#include "Blake2sp.h"
#include "RarDecoders.h"
#include "RarFormat.h"

#include "base/CodePage.h"
#include "base/ExtractionFolder.h"

#include <zlib.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <map>
#include <memory>
#include <new>
#include <optional>
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
    std::unique_ptr<LibarchiveDecoder> d4Standalone;  // RAR 3.x files that need no earlier member
    bool d4StandaloneFailed = false;                  // then libunarr reads the rest
    int standaloneFilesThroughUnarr = 0;              // those libunarr read instead (UseLibarchiveForRar4)
    std::unique_ptr<LibarchiveDecoder> d5;
    // One per destination, opened at its first extracted member: the files wait there until the
    // walk reaches the end of the archive (or the archive is closed), then take their places.
    std::map<std::string, std::unique_ptr<base::ExtractionFolder>> folders;
    // Why the last call left members out, when the folder's rules or the system refused them.
    std::string refusedName;
    std::string refusalReason;
    int refusedCount = 0;
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
        if (blake_)
            blake_->Update(data, n);
    }
    bool Matches()
    {
        if (m_.unpSizeKnown && size_ != m_.unpSize)
            return false;
        if (m_.hasCrc && static_cast<uint32_t>(crc_) != m_.crc)
            return false;
        if (blake_) {
            uint8_t digest[32];
            blake_->Final(digest);
            if (std::memcmp(digest, m_.blake.data(), 32) != 0)
                return false;
        }
        return true;
    }

private:
    const Member& m_;
    uint64_t size_ = 0;
    uLong crc_ = crc32(0, nullptr, 0);
    // Only for a member that stores the hash: setting it up opens libb2, which most archives never need.
    std::optional<Blake2sp> blake_ = m_.hasBlake ? std::make_optional<Blake2sp>() : std::nullopt;
};

// The library's result for a step of the extraction folder.
int ResultOf(const base::Outcome& outcome)
{
    switch (outcome.refusal) {
    case base::Refusal::None: return ERAR_SUCCESS;
    case base::Refusal::TooLarge:
    case base::Refusal::NoSpace:
    case base::Refusal::GrewPastSize:
    case base::Refusal::CannotWrite: return ERAR_EWRITE;
    case base::Refusal::CannotFlush: return ERAR_ECLOSE;
    case base::Refusal::UnsafeName:
    case base::Refusal::UnreadableName:
    case base::Refusal::ThroughLink:
    case base::Refusal::NotAFolder:
    case base::Refusal::IsAFolder:
    case base::Refusal::CannotCreate:
    case base::Refusal::CannotPlace: return ERAR_ECREATE;
    }
    return ERAR_ECREATE;
}

void Refuse(Handle& h, const std::string& name, const std::string& reason)
{
    if (h.refusedCount++ == 0) {
        h.refusedName = base::TextToUtf8(name);  // shown in a message: never raw bytes of another code page
        h.refusalReason = reason;
    }
}

// ERAR_SUCCESS when the decoder's library is there; otherwise the member is refused, naming the
// library, for a broken installation to be told as such.
int NeedLibrary(Handle& h, const Member& m, rar::DecoderLibrary library)
{
    const char* missing = rar::MissingLibrary(library);
    if (!missing)
        return ERAR_SUCCESS;
    Refuse(h, m.name, std::string("the library ") + missing + " that unpacks it cannot be loaded");
    return ERAR_EOPEN;
}

// The outcome's code, its reason kept for RARGetLastRefusal when it failed.
int Check(Handle& h, const std::string& name, const base::Outcome& outcome)
{
    if (!outcome)
        Refuse(h, name, base::Describe(outcome));
    return ResultOf(outcome);
}

// Places what every folder holds; the code of the first member that could not take its place.
int FinishFolders(Handle& h)
{
    int rc = ERAR_SUCCESS;
    for (auto& [dest, folder] : h.folders) {
        for (const auto& [rel, outcome] : folder->Finish()) {
            if (rc == ERAR_SUCCESS)
                rc = ResultOf(outcome);
            Refuse(h, rel, base::Describe(outcome));
        }
    }
    return rc;
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

// Which decoder reads a RAR 3.x file that needs no earlier member; both read it right. libunarr
// sets its decoder up afresh for every file (about 0.2 ms) and unpacks more slowly, libarchive costs
// well over a millisecond to open: the first few small files of an archive go through libunarr, and
// libarchive reads a larger file, every file after the first few, and every file once it is open
// (a RAR5 archive or an earlier archive opened it). Whichever library is missing, the other reads it.
bool UseLibarchiveForRar4(Handle& h, const Member& m)
{
    constexpr int kFilesThroughUnarr = 4;
    constexpr uint64_t kSmallFile = 4096;
    const bool preferred = h.d4Standalone || rar::LibarchiveIsOpen() || m.unpSize > kSmallFile ||
                           h.standaloneFilesThroughUnarr >= kFilesThroughUnarr ||
                           rar::MissingLibrary(rar::DecoderLibrary::Libunarr);
    return preferred && !rar::MissingLibrary(rar::DecoderLibrary::Libarchive);
}

int Decode(Handle& h, const Member& m, const Sink& sink)
{
    if (m.hasBlake)
        if (int rc = NeedLibrary(h, m, rar::DecoderLibrary::Libb2); rc != ERAR_SUCCESS)
            return rc;
    if (m.method == 0x30 && m.packSize == m.unpSize && m.unpSizeKnown)
        return ReadStored(h, m, sink);
    const ArchiveInfo& info = h.walker.Info();
    if (info.format == Format::Rar4 && !h.d4StandaloneFailed && LibarchiveDecodesRar4(m, info.solid) &&
        UseLibarchiveForRar4(h, m)) {
        if (!h.d4Standalone)
            h.d4Standalone = std::make_unique<LibarchiveDecoder>(h.arcName, info.start, Format::Rar4);
        const int rc = h.d4Standalone->Decode(m, sink);
        if (rc != LibarchiveDecoder::kUnreachable)
            return rc;
        // libarchive could not find its way to the file: libunarr reads this archive from here on.
        h.d4StandaloneFailed = true;
        h.d4Standalone.reset();
    }
    if (info.format == Format::Rar4) {
        if (int rc = NeedLibrary(h, m, rar::DecoderLibrary::Libunarr); rc != ERAR_SUCCESS)
            return rc;
        if (!h.d4)
            h.d4 = std::make_unique<Rar4Decoder>(h.arcName, h.walker.Info().solid, h.walker.Info().start);
        if (LibarchiveDecodesRar4(m, info.solid))
            ++h.standaloneFilesThroughUnarr;
        return h.d4->Decode(m, sink);
    }
    if (int rc = NeedLibrary(h, m, rar::DecoderLibrary::Libarchive); rc != ERAR_SUCCESS)
        return rc;
    if (!h.d5)
        h.d5 = std::make_unique<LibarchiveDecoder>(h.arcName, info.start, Format::Rar5);
    return h.d5->Decode(m, sink);
}

// Unpacks the member through the checker into out (or nowhere when out is null). A write the
// folder refuses ends the member with its outcome in failure.
int UnpackChecked(Handle& h, const Member& m, base::MemberFile* out, base::Outcome& failure)
{
    Checker check(m);
    int rc = Decode(h, m, [&](const uint8_t* data, size_t n) {
        check.Add(data, n);
        if (!out)
            return ERAR_SUCCESS;
        failure = out->Write(data, n);
        return ResultOf(failure);
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

// A hard link or file copy of RAR5 becomes an independent copy of a file already in the
// destination, read from there without following links.
int CopyWithin(Handle& h, base::ExtractionFolder& folder, const Member& m, const std::string& rel)
{
    auto fromRel = base::ExtractionFolder::CheckName(m.linkTarget);
    const int in = fromRel ? folder.OpenForReading(*fromRel) : -1;
    struct stat st {};
    if (in < 0 || fstat(in, &st) != 0 || !S_ISREG(st.st_mode)) {
        if (in >= 0)
            close(in);
        Refuse(h, m.name, "it is a copy of \"" + m.linkTarget + "\", which is not a file in the destination folder");
        return ERAR_ECREATE;
    }
    base::MemberFile out;
    int rc = Check(h, m.name, folder.OpenFile(rel, static_cast<uint64_t>(st.st_size), out));
    std::vector<uint8_t> buf(1 << 16);
    while (rc == ERAR_SUCCESS) {
        ssize_t n = read(in, buf.data(), buf.size());
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            rc = ERAR_EREAD;
        if (n <= 0)
            break;
        rc = Check(h, m.name, out.Write(buf.data(), static_cast<size_t>(n)));
    }
    close(in);
    if (rc == ERAR_SUCCESS)
        rc = Check(h, m.name, out.Commit(StampOf(m)));
    return rc;
}

// The folder for a destination, opened at its first member; nothing when it cannot be opened.
base::ExtractionFolder* FolderFor(Handle& h, const std::string& dest, const std::string& memberName)
{
    auto& folder = h.folders[dest];
    if (!folder)
        folder = std::make_unique<base::ExtractionFolder>(dest);
    if (folder->IsOpen())
        return folder.get();
    Check(h, memberName, {base::Refusal::CannotCreate, folder->OpenError()});
    return nullptr;
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

    if (!extract) {
        if (m.isDir || m.link == LinkKind::HardLink || m.link == LinkKind::FileCopy)
            return ERAR_SUCCESS;  // no data of their own to check
        if (m.link != LinkKind::None) {
            std::string text;
            return LinkText(h, m, text);
        }
        base::Outcome nothingWritten;
        return UnpackChecked(h, m, nullptr, nothingWritten);
    }

    // The member's place: by its stored name under destPath, or exactly at destName.
    std::string dest = destPath && *destPath ? destPath : ".";
    std::string name = m.name;
    if (destName && *destName) {
        const std::string target = destName;
        const size_t slash = target.find_last_of('/');
        dest = slash == std::string::npos ? "." : slash == 0 ? "/" : target.substr(0, slash);
        name = target.substr(slash + 1);  // npos + 1 is 0
    }
    const auto rel = base::ExtractionFolder::CheckName(name);
    if (!rel)
        return Check(h, m.name, {base::ExtractionFolder::NameRefusal(name)});
    base::ExtractionFolder* folder = FolderFor(h, dest, m.name);
    if (!folder)
        return ERAR_ECREATE;
    if (m.isDir)
        return Check(h, m.name, folder->MakeFolder(*rel));

    switch (m.link) {
    case LinkKind::None: break;
    case LinkKind::HardLink:
    case LinkKind::FileCopy: return CopyWithin(h, *folder, m, *rel);
    default: {
        std::string text;
        if (int rc = LinkText(h, m, text); rc != ERAR_SUCCESS)
            return rc;
        return Check(h, m.name, folder->PlaceSymlink(*rel, text));
    }
    }

    // The target is replaced only once the member's checksums matched, and then only when the
    // walk reaches the end of the archive.
    base::MemberFile out;
    const auto declared = m.unpSizeKnown ? std::optional<uint64_t>(m.unpSize) : std::nullopt;
    if (int rc = Check(h, m.name, folder->OpenFile(*rel, declared, out)); rc != ERAR_SUCCESS)
        return rc;
    base::Outcome writeFailure;
    if (int rc = UnpackChecked(h, m, &out, writeFailure); rc != ERAR_SUCCESS) {
        if (!writeFailure)
            Check(h, m.name, writeFailure);
        return rc;
    }
    return Check(h, m.name, out.Commit(StampOf(m)));
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
    if (!handle)
        return ERAR_SUCCESS;
    std::unique_ptr<Handle> h(static_cast<Handle*>(handle));
    try {
        // What was extracted before a failure stays: it takes its place now.
        return unrar::FinishFolders(*h);
    } catch (...) {
        return ERAR_ECLOSE;
    }
}

int RARReadHeader(void* handle, RARHeaderData* hd)
{
    if (!handle)
        return ERAR_UNKNOWN;
    auto& h = *static_cast<Handle*>(handle);
    try {
        h.haveCur = false;
        h.refusedCount = 0;
        if (int rc = h.walker.Next(h.cur); rc != ERAR_SUCCESS) {
            // The whole archive was read: its files take their places now, and a file that
            // cannot makes the archive a failure.
            if (rc == ERAR_END_ARCHIVE)
                if (int placed = unrar::FinishFolders(h); placed != ERAR_SUCCESS)
                    return placed;
            return rc;
        }
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
    auto& h = *static_cast<Handle*>(handle);
    h.refusedCount = 0;
    try {
        return unrar::Process(h, operation, destPath, destName);
    } catch (const std::bad_alloc&) {
        return ERAR_NO_MEMORY;
    } catch (...) {
        return ERAR_UNKNOWN;
    }
}

int RARGetLastRefusal(void* handle, char* name, int nameSize, char* reason, int reasonSize)
{
    if (!handle)
        return 0;
    const auto& h = *static_cast<Handle*>(handle);
    if (h.refusedCount == 0)
        return 0;
    if (name && nameSize > 0)
        unrar::CopyField(name, static_cast<size_t>(nameSize), h.refusedName);
    if (reason && reasonSize > 0)
        unrar::CopyField(reason, static_cast<size_t>(reasonSize), h.refusalReason);
    return h.refusedCount;
}

}  // extern "C"
