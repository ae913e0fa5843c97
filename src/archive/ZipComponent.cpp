#include "ZipComponent.h"

#include "turnex/ZipRecords.h"
#include "base/CodePage.h"
#include "base/Desktop.h"
#include "base/Files.h"
#include "base/Paths.h"

#include <algorithm>
#include <climits>
#include <cstdint>
#include <cstring>
#include <memory>
#include <new>
#include <sys/statvfs.h>
#include <unistd.h>

using namespace ziprec;

// ---------------------------------------------------------------------------------------------
// Messages

EZipComponent::EZipComponent(int ident, bool display)
    : base::Exception(Text(ident, false, {})), DisplayMsg(display), Ident(ident)
{
}

EZipComponent::EZipComponent(int ident, int diskNo)
    : base::Exception(Text(ident, true, std::to_string(diskNo))), DisplayMsg(true), Ident(ident)
{
}

EZipComponent::EZipComponent(int ident, const std::string& drive)
    : base::Exception(Text(ident, true, drive)), DisplayMsg(true), Ident(ident)
{
}

void ZipComponent::ShowZipMessage(int32_t ident, const std::string& extra)
{
    std::string text = ZipReport(ident, extra, zipFileName_);
    Message = text;
    ErrCode = ident;
    if (!Unattended) {
        ++reportsShown_;
        base::TheDesktop().ShowMessage(text);
    }
    if (OnMessage)
        OnMessage(this, 0, text);
}

void ZipComponent::ShowExceptionError(const EZipComponent& e)
{
    const std::string own = LoadZipString(e.Ident, "");
    Message = own.empty() ? std::string(e.what()) : ZipReportText(e.Ident, e.what(), zipFileName_);
    if (e.DisplayMsg && !Unattended) {
        ++reportsShown_;
        base::TheDesktop().ShowMessage(Message);
    }
    ErrCode = e.Ident;
    if (OnMessage)
        OnMessage(this, 0, Message);
}

// ---------------------------------------------------------------------------------------------
// Creation and properties

ZipComponent::ZipComponent() = default;
ZipComponent::~ZipComponent() = default;

void ZipComponent::SetZipFileName(const std::string& name)
{
    zipFileName_ = name;
    ReadDirectory();
}

void ZipComponent::SetPassword(const std::string& password) { password_ = password.substr(0, 255); }

void ZipComponent::SetDLLDirectory(const std::string& dir)
{
    std::string value = dir;
    if (!value.empty() && value.back() == '\\')
        value.pop_back();
    if (value != dllDirectory_)
        dllDirectory_ = value;
}

void ZipComponent::SetPasswordReqCount(uint32_t count) { passwordReqCount_ = std::min<uint32_t>(count, 15); }

void ZipComponent::SetRootDir(const std::string& dir)
{
    rootDir_ = dir;
    if (!rootDir_.empty() && rootDir_.back() != '\\')
        rootDir_ += '\\';
}

std::string ZipComponent::ConvertCharset(const std::string& text, int direction) const
{
    const bool applies = (CodePage == cpAuto && hostNum_ == 0) || hostNum_ == 6 || (hostNum_ == 11 && hostVer_ == 50) ||
                         CodePage == cpOEM;
    if (!applies || (direction == 0 && utf8Flag_))
        return text;
    return direction == 0 ? base::OemToUtf8(text) : base::Utf8ToOem(text);
}

void ZipDirEntry::ReadHeader(const uint8_t* h)
{
    const auto& l = kCentralHeader;
    VersionMadeBy = h[l.offset[chMadeBy]];
    HostSystem = h[l.offset[chHost]];
    VersionNeeded = GetU16(h + l.offset[chNeeded]);
    Flags = GetU16(h + l.offset[chFlags]);
    CompressionMethod = GetU16(h + l.offset[chMethod]);
    DosDateTime = GetU32(h + l.offset[chDosTime]);
    Crc32 = GetU32(h + l.offset[chCrc]);
    CompressedSize = GetU32(h + l.offset[chCompSize]);
    UncompressedSize = GetU32(h + l.offset[chSize]);
    FileNameLength = GetU16(h + l.offset[chNameLen]);
    ExtraFieldLength = GetU16(h + l.offset[chExtraLen]);
    FileCommentLength = GetU16(h + l.offset[chCommentLen]);
    DiskNumberStart = GetU16(h + l.offset[chDiskStart]);
    InternalAttributes = GetU16(h + l.offset[chIntAttr]);
    ExternalAttributes = GetU32(h + l.offset[chExtAttr]);
    LocalHeaderOffset = GetU32(h + l.offset[chLocalOffset]);
    CompressedSize64 = CompressedSize;
    UncompressedSize64 = UncompressedSize;
    LocalHeaderOffset64 = LocalHeaderOffset;
}

void ZipDirEntry::ReadZip64Extra()
{
    // Blocks of id, size and data. The Zip64 block holds, in this order, only the values whose
    // header field is full: uncompressed size, compressed size, local header offset.
    const size_t length = std::min<size_t>(ExtraFieldLength, ExtraData.size());
    for (size_t at = 0; at + 4 <= length;) {
        const uint16_t id = GetU16(ExtraData.data() + at);
        const size_t size = std::min<size_t>(GetU16(ExtraData.data() + at + 2), length - at - 4);
        if (id != kZip64ExtraId) {
            at += 4 + size;
            continue;
        }
        const uint8_t* value = ExtraData.data() + at + 4;
        const uint8_t* const end = value + size;
        const auto take = [&](uint32_t stored, uint64_t& full) {
            if (stored != kZip64Marker32 || end - value < 8)
                return;
            full = GetU64(value);
            value += 8;
        };
        take(UncompressedSize, UncompressedSize64);
        take(CompressedSize, CompressedSize64);
        take(LocalHeaderOffset, LocalHeaderOffset64);
        return;
    }
}

// ---------------------------------------------------------------------------------------------
// Directory reading

// The archive file during one directory read. The central directory is read record by record
// in small pieces; a read-ahead window keeps those from costing a system call each.
class DirReader {
public:
    explicit DirReader(const std::string& name) : file_(name, base::FileStream::OpenRead) {}
    int64_t Size() const { return file_.Size(); }
    // Moves to pos; false when pos lies before the start of the file.
    bool Seek(int64_t pos)
    {
        if (pos < 0 || file_.Seek(pos) != pos)
            return false;
        pos_ = pos;
        bufLen_ = 0;
        bufAt_ = 0;
        return true;
    }
    // Unbuffered read at the current position (the end-record search reads in one piece).
    size_t ReadDirect(void* buf, size_t n)
    {
        size_t got = file_.Read(buf, n);
        pos_ += static_cast<int64_t>(got);
        bufLen_ = bufAt_ = 0;
        return got;
    }
    size_t Read(void* buf, size_t n)
    {
        auto* out = static_cast<uint8_t*>(buf);
        size_t done = 0;
        while (done < n) {
            if (bufAt_ == bufLen_) {
                if (n - done >= sizeof(buf_)) {
                    size_t got = file_.Read(out + done, n - done);
                    pos_ += static_cast<int64_t>(got);
                    return done + got;
                }
                bufLen_ = file_.Read(buf_, sizeof(buf_));
                bufAt_ = 0;
                if (bufLen_ == 0)
                    break;
            }
            size_t take = std::min(n - done, bufLen_ - bufAt_);
            std::memcpy(out + done, buf_ + bufAt_, take);
            bufAt_ += take;
            done += take;
            pos_ += static_cast<int64_t>(take);
        }
        return done;
    }

private:
    base::FileStream file_;
    uint8_t buf_[32768];
    size_t bufLen_ = 0;
    size_t bufAt_ = 0;
    int64_t pos_ = 0;
};

namespace {

// The folder a drive letter stands for through the Wine prefix, or "" when it has none.
bool DriveMapped(char letter)
{
    const char lower = static_cast<char>(letter - 'A' + 'a');
    const std::string prefix = base::WinePrefix();
    if (base::DirectoryExists(prefix + "/dosdevices/" + lower + ":/"))
        return true;
    return lower == 'c' && base::DirectoryExists(prefix + "/drive_c");
}

// What the end records say about the central directory.
struct DirectoryEnd {
    uint32_t thisDisk = 0;
    uint32_t cdDisk = 0;
    uint64_t totalEntries = 0;
    uint64_t cdSize = 0;
    uint64_t cdOffset = 0;
    int64_t dirEnd = 0;  // where the central directory ends in the file: the first end record
    bool zip64 = false;
};

// The Zip64 end record before the classic one at endPos: through its locator right before
// endPos, or, when the classic record's fields are full but no locator is there, right before
// endPos itself. Writers that stream put it there even for small archives; the classic record
// then holds 0xFFFF and 0xFFFFFFFF markers, or plain values that the Zip64 record repeats.
bool ReadZip64End(DirReader& in, int64_t endPos, bool markers, DirectoryEnd& out)
{
    const auto& z = kZip64EndRecord;
    const auto recordAt = [&](int64_t pos, int64_t endsAt) {
        uint8_t rec[kZip64EndRecord.size];
        if (pos < 0 || !in.Seek(pos) || in.ReadDirect(rec, sizeof rec) != sizeof rec || GetU32(rec) != kZip64EndSig)
            return false;
        // The record's own size ends it where the next record starts.
        const uint64_t size = GetU64(rec + z.offset[zeRecordSize]);
        if (size < z.size - 12 || static_cast<uint64_t>(endsAt - pos) != size + 12)
            return false;
        out.thisDisk = GetU32(rec + z.offset[zeThisDisk]);
        out.cdDisk = GetU32(rec + z.offset[zeCdDisk]);
        out.totalEntries = GetU64(rec + z.offset[zeTotalEntries]);
        out.cdSize = GetU64(rec + z.offset[zeCdSize]);
        out.cdOffset = GetU64(rec + z.offset[zeCdOffset]);
        out.dirEnd = pos;
        out.zip64 = true;
        return true;
    };
    const int64_t locatorPos = endPos - kZip64Locator.size;
    uint8_t locator[kZip64Locator.size];
    if (locatorPos >= 0 && in.Seek(locatorPos) && in.ReadDirect(locator, sizeof locator) == sizeof locator &&
        GetU32(locator) == kZip64LocatorSig) {
        // Right before the locator, as writers put it; else where the locator says, which holds
        // only when nothing was put in front of the archive.
        if (recordAt(locatorPos - kZip64EndRecord.size, locatorPos))
            return true;
        const uint64_t stored = GetU64(locator + kZip64Locator.offset[zlEndOffset]);
        if (stored < static_cast<uint64_t>(locatorPos) && recordAt(static_cast<int64_t>(stored), locatorPos))
            return true;
        throw EZipComponent(10201, true);  // a locator without its record
    }
    return markers && recordAt(endPos - kZip64EndRecord.size, endPos);
}

}  // namespace

void ZipComponent::CheckDrive()
{
    const std::string& name = zipFileName_;
    volumeLabel_.clear();
    if (name.size() >= 2 && name[1] == ':') {
        char letter = name[0];
        if (letter >= 'a' && letter <= 'z')
            letter = static_cast<char>(letter - 'a' + 'A');
        driveRoot_ = std::string(1, letter) + ":\\";
        if (letter < 'A' || letter > 'Z')
            throw EZipComponent(11003, driveRoot_);
        if (!DriveMapped(letter))
            throw EZipComponent(11004, driveRoot_);
        // This platform has no volume labels; free and total space come from the file system.
        struct statvfs vfs {};
        uint64_t total = ~uint64_t {0};
        if (statvfs(base::NativePath(driveRoot_).c_str(), &vfs) == 0)
            total = static_cast<uint64_t>(vfs.f_blocks) * vfs.f_frsize;
        if (total == ~uint64_t {0})
            throw EZipComponent(11004, driveRoot_);
        return;
    }
    // Native and network paths have no drive letter to check.
    driveRoot_.assign(1, '\\');
}

// Finds the end-of-central-directory record: first the last 22 bytes, then one window holding
// the longest possible comment. fileSize comes back as the end of the archive proper.
void ZipComponent::OpenEndOfDirectory(DirReader& in, uint8_t* endRecord, int64_t& fileSize)
{
    ArchiveComment.clear();
    int labelDisk = 0;
    bool spanMarker = false;
    // Volume labels do not exist here, so the "PKBACK# " label rule never fires.
    uint8_t head[8];
    if (in.ReadDirect(head, 8) == 8 && GetU32(head) == kSpanSig && GetU32(head + 4) == kLocalSig) {
        spanMarker = true;
        spanned_ = true;
    }
    fileSize = 0;
    const int64_t size = in.Size();
    if (size >= 22 && in.Seek(size - 22)) {
        fileSize = size;
        realFileSize_ = size;
        if (in.ReadDirect(endRecord, 22) == 22 && GetU32(endRecord) == kEndSig)
            return;
    }
    const int64_t n = std::min<int64_t>(65557, fileSize);
    std::vector<uint8_t> window(static_cast<size_t>(n));
    if (!in.Seek(fileSize - n))
        throw EZipComponent(11008, true);
    if (static_cast<int64_t>(in.ReadDirect(window.data(), static_cast<size_t>(n))) != n)
        throw EZipComponent(11011, true);
    for (int64_t i = n - 23; i >= 0; --i) {
        const uint8_t* p = window.data() + i;
        if (p[0] != 'P' || p[1] != 'K' || p[2] != 5 || p[3] != 6)
            continue;
        std::memcpy(endRecord, p, 22);
        const int64_t commentLen = GetU16(endRecord + kEndRecord.offset[erCommentLen]);
        const int64_t d = i + 22 + commentLen - n;
        if (d != 0) {
            fileSize += d;
            bool zeroTail = true;
            for (int64_t k = i + 22 + commentLen; k < n; ++k)
                zeroTail = zeroTail && window[static_cast<size_t>(k)] == 0;
            const bool padding =
                static_cast<uint64_t>(realFileSize_ - fileSize) < 512 && realFileSize_ % 512 == 0 && zeroTail;
            if (!padding)
                ShowZipMessage(10204, "");
        }
        if (commentLen != 0) {
            // A comment that claims to run past the end of the file gives what the file holds.
            const int64_t avail = std::min(commentLen, n - (i + 22));
            const char* c = reinterpret_cast<const char*>(p + 22);
            ArchiveComment.assign(c, strnlen(c, static_cast<size_t>(avail)));
        }
        return;
    }
    if (!spanMarker && labelDisk != 0)
        throw EZipComponent(11038, labelDisk);
    if (spanMarker)
        throw EZipComponent(labelDisk == 1 ? 11037 : 11045, true);
    throw EZipComponent(11036, true);
}

void ZipComponent::ReadDirectory()
{
    DirEntries.clear();
    totalSizeToProcess_ = 0;
    FirstLocalOffset = 0;
    dirOnlyCount_ = 0;
    ArchiveComment.clear();
    spanned_ = false;

    if (zipFileName_.empty() || !base::FileExists(zipFileName_)) {
        if (OnDirUpdate)
            OnDirUpdate(this);
        return;
    }

    base::Desktop& desktop = base::TheDesktop();
    desktop.SetBusyCursor(true);
    bool failed = false;
    int64_t dirPos = 0;
    uint64_t cdOffset = 0;
    // The first local header's position, in full until it is stored.
    uint64_t firstLocal = 0;
    try {
        CheckDrive();
        std::unique_ptr<DirReader> in;
        try {
            in = std::make_unique<DirReader>(zipFileName_);
        } catch (const base::Exception&) {
            throw EZipComponent(11001, true);
        }
        uint8_t end[22];
        int64_t fileSize = 0;
        OpenEndOfDirectory(*in, end, fileSize);

        const auto& e = kEndRecord;
        const uint16_t commentLen = GetU16(end + e.offset[erCommentLen]);
        DirectoryEnd dir;
        dir.thisDisk = GetU16(end + e.offset[erThisDisk]);
        dir.cdDisk = GetU16(end + e.offset[erCdDisk]);
        dir.totalEntries = GetU16(end + e.offset[erTotalEntries]);
        dir.cdSize = GetU32(end + e.offset[erCdSize]);
        dir.cdOffset = GetU32(end + e.offset[erCdOffset]);
        dir.dirEnd = fileSize - 22 - commentLen;
        const bool markers = dir.thisDisk == kZip64Marker16 || dir.cdDisk == kZip64Marker16 ||
                             dir.totalEntries == kZip64Marker16 || dir.cdSize == kZip64Marker32 ||
                             dir.cdOffset == kZip64Marker32;
        ReadZip64End(*in, dir.dirEnd, markers, dir);
        diskNr_ = static_cast<int32_t>(std::min<uint32_t>(dir.thisDisk, INT32_MAX));
        if (diskNr_ > 0)
            spanned_ = true;
        cdOffset = dir.cdOffset;
        if (dir.cdDisk != dir.thisDisk) {
            // Another disk of a set would hold the directory; this platform mounts no removable
            // disks, so the directory is looked for where the record says, in this file.
            dirPos = cdOffset > static_cast<uint64_t>(INT64_MAX) ? -1 : static_cast<int64_t>(cdOffset);
        } else {
            dirPos =
                dir.cdSize > static_cast<uint64_t>(dir.dirEnd) ? -1 : dir.dirEnd - static_cast<int64_t>(dir.cdSize);
        }

        // An archive of end records only starts nowhere.
        const bool onlyEndRecords = fileSize == 22 || (dir.zip64 && dir.dirEnd == 0 && commentLen == 0);
        firstLocal = onlyEndRecords ? 0 : static_cast<uint64_t>(fileSize);
        if (dirPos < 0 || cdOffset != static_cast<uint64_t>(dirPos))
            ShowZipMessage(10203, "");
        if (!in->Seek(dirPos))
            throw EZipComponent(10201, true);

        uint8_t header[46];
        std::string raw;
        for (uint64_t k = 0; k < dir.totalEntries; ++k) {
            if (in->Read(header, 46) != 46)
                throw EZipComponent(11013, true);  // no further disk to move to
            if (GetU32(header) != kCentralSig)
                throw EZipComponent(11015, true);
            ZipDirEntry entry;
            entry.ReadHeader(header);
            raw.resize(entry.FileNameLength);
            if (in->Read(raw.data(), raw.size()) != raw.size())
                throw EZipComponent(11017, true);
            hostVer_ = entry.VersionMadeBy;
            hostNum_ = entry.HostSystem;
            utf8Flag_ = (entry.Flags & 0x800) != 0;
            entry.FileName = ConvertCharset(raw, 0);
            std::replace(entry.FileName.begin(), entry.FileName.end(), '/', '\\');
            entry.Encrypted = (entry.Flags & 1) ? 1 : 0;
            if (entry.ExtraFieldLength > 0) {
                entry.ExtraData.assign(entry.ExtraFieldLength + 1u, 0);
                if (in->Read(entry.ExtraData.data(), entry.ExtraFieldLength) != entry.ExtraFieldLength)
                    throw EZipComponent(10201, true);
                entry.ReadZip64Extra();
            }
            if (entry.FileCommentLength > 0) {
                raw.resize(entry.FileCommentLength);
                if (in->Read(raw.data(), raw.size()) != raw.size())
                    throw EZipComponent(11022, true);
                entry.FileComment = ConvertCharset(raw, 0);
            }
            const uint64_t localOffset = entry.LocalHeaderOffset64;
            const size_t lastSep = entry.FileName.find_last_of("\\:");
            const bool dirOnly = lastSep != std::string::npos && lastSep + 1 == entry.FileName.size();
            if (!UseDirOnlyEntries && dirOnly) {
                ++dirOnlyCount_;
            } else {
                DirEntries.push_back(std::move(entry));
                if (OnNewName)
                    OnNewName(this, static_cast<int32_t>(std::min<uint64_t>(k + 1, INT32_MAX)), DirEntries.back());
            }
            firstLocal = std::min(firstLocal, localOffset);
        }
        totalDisks_ = diskNr_;
    } catch (const EZipComponent& ez) {
        failed = true;
        desktop.SetBusyCursor(false);
        ShowExceptionError(ez);
    } catch (const std::bad_alloc&) {
        failed = true;
        desktop.SetBusyCursor(false);
        ShowZipMessage(10103, "");
    } catch (const std::exception& ex) {
        failed = true;
        desktop.SetBusyCursor(false);
        ShowZipMessage(10202, ex.what());
    }
    if (failed) {
        zipFileName_.clear();
        FirstLocalOffset = 0;
    } else {
        desktop.SetBusyCursor(false);
        // Kept in 32 bits, as the property is (no archive this program meets comes near 4 GB):
        // a larger value stops at the top, offsets that point before the file wrap as they did.
        const int64_t first = static_cast<int64_t>(firstLocal) + dirPos - static_cast<int64_t>(cdOffset);
        FirstLocalOffset = first > static_cast<int64_t>(UINT32_MAX) ? UINT32_MAX : static_cast<uint32_t>(first);
    }
    if (OnDirUpdate)
        OnDirUpdate(this);
}
