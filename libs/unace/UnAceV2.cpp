// libunacev2.so: the three entry points of the unace library, on the decoder of this folder, and a
// fourth of our own that tells which members the last extraction left out and why.
#include "AceArchive.h"
#include "AceExtractor.h"
#include "base/Paths.h"
#include "turnex/unace.h"

#include <algorithm>
#include <climits>
#include <cstring>
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

using unace::kAceArchiveDataRecord;
using unace::kAceExtractRecord;
using unace::kAceInitRecord;

// What the archive-data record points at; callers only test the address for null.
struct ArchiveInfo {
    uint32_t members = 0;
    uint32_t flags = 0;
} TheArchiveInfo;

char* CommentBuffer = nullptr;
size_t CommentBufferSize = 0;
// What the last extraction left out, for ACEGetExtractReport.
std::string ExtractReport;

// The archive file mapped read-only for one call.
class MappedFile {
public:
    explicit MappedFile(const std::string& path)
    {
        int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
        if (fd < 0)
            return;
        struct stat st {};
        if (fstat(fd, &st) == 0 && S_ISREG(st.st_mode)) {
            size_ = static_cast<size_t>(st.st_size);
            if (size_ == 0) {
                ok_ = true;
            } else {
                void* p = mmap(nullptr, size_, PROT_READ, MAP_PRIVATE, fd, 0);
                if (p != MAP_FAILED) {
                    data_ = static_cast<const uint8_t*>(p);
                    ok_ = true;
                }
            }
        }
        close(fd);
    }
    ~MappedFile()
    {
        if (data_)
            munmap(const_cast<uint8_t*>(data_), size_);
    }
    MappedFile(const MappedFile&) = delete;
    MappedFile& operator=(const MappedFile&) = delete;

    bool Ok() const { return ok_; }
    std::span<const uint8_t> Bytes() const { return {data_, data_ ? size_ : 0}; }

private:
    const uint8_t* data_ = nullptr;
    size_t size_ = 0;
    bool ok_ = false;
};

int32_t ResultOf(ace::Status status)
{
    switch (status) {
    case ace::Status::Ok: return unace::kAceOk;
    case ace::Status::NotAce: return unace::kAceErrorNotAce;
    case ace::Status::Truncated:
    case ace::Status::CorruptHeader:
    case ace::Status::CorruptData:
    case ace::Status::CrcError: return unace::kAceErrorDamaged;
    case ace::Status::Unsupported: return unace::kAceErrorUnsupported;
    case ace::Status::Encrypted: return unace::kAceErrorEncrypted;
    case ace::Status::MultiVolume: return unace::kAceErrorMultiVolume;
    case ace::Status::UnsafeName: return unace::kAceErrorUnsafeName;
    case ace::Status::WriteError: return unace::kAceErrorWrite;
    }
    return unace::kAceErrorDamaged;
}

const char* TextAt(const uint8_t* record, size_t offset)
{
    return static_cast<const char*>(unace::GetRecordAddress(record, offset));
}

std::vector<std::string> SplitLines(const char* text)
{
    std::vector<std::string> out;
    std::string cur;
    for (const char* p = text; p && *p; ++p) {
        if (*p == '\r' || *p == '\n') {
            if (!cur.empty())
                out.push_back(cur);
            cur.clear();
        } else {
            cur += *p;
        }
    }
    if (!cur.empty())
        out.push_back(cur);
    return out;
}

}  // namespace

UNACE_EXPORT int32_t ACEInitDll(void* record)
{
    if (!record)
        return unace::kAceErrorParameter;
    const auto* r = static_cast<const uint8_t*>(record);
    CommentBuffer = static_cast<char*>(const_cast<void*>(unace::GetRecordAddress(r, kAceInitRecord.commentBuffer)));
    int32_t size = unace::GetRecordNumber(r, kAceInitRecord.commentBufferSize);
    CommentBufferSize = CommentBuffer && size > 0 ? static_cast<size_t>(size) : 0;
    return unace::kAceOk;
}

UNACE_EXPORT int32_t ACEReadArchiveData(const char* archivePath, void* record)
{
    if (!record)
        return unace::kAceErrorParameter;
    auto* r = static_cast<uint8_t*>(record);
    unace::PutRecordAddress(r, kAceArchiveDataRecord.archiveInfo, nullptr);
    if (!archivePath)
        return unace::kAceErrorParameter;
    MappedFile file(base::NativePath(archivePath));
    if (!file.Ok())
        return unace::kAceErrorOpen;
    ace::AceArchive ace;
    ace::Status status = ace.Open(file.Bytes());
    if (!ace.IsAce())
        return unace::kAceErrorNotAce;
    TheArchiveInfo.members = static_cast<uint32_t>(ace.Members().size());
    TheArchiveInfo.flags = (ace.IsSolid() ? 1u : 0u) | (ace.IsMultiVolume() ? 2u : 0u);
    unace::PutRecordAddress(r, kAceArchiveDataRecord.archiveInfo, &TheArchiveInfo);
    if (CommentBuffer && CommentBufferSize > 0) {
        size_t n = std::min(ace.Comment().size(), CommentBufferSize - 1);
        std::memcpy(CommentBuffer, ace.Comment().data(), n);
        CommentBuffer[n] = '\0';
    }
    return ResultOf(status);
}

UNACE_EXPORT int32_t ACEExtract(const char* archivePath, void* record)
{
    ExtractReport.clear();
    if (!record || !archivePath)
        return unace::kAceErrorParameter;
    const auto* r = static_cast<const uint8_t*>(record);
    const char* dest = TextAt(r, kAceExtractRecord.destinationDir);
    if (!dest || !*dest)
        return unace::kAceErrorParameter;
    MappedFile file(base::NativePath(archivePath));
    if (!file.Ok())
        return unace::kAceErrorOpen;
    std::string destDir = base::NativePath(dest);
    while (destDir.size() > 1 && destDir.back() == '/')
        destDir.pop_back();
    std::vector<ace::LeftOut> leftOut;
    const ace::Status status = ace::ExtractArchive(
        file.Bytes(), destDir, SplitLines(TextAt(r, kAceExtractRecord.fileList)), nullptr, &leftOut);
    for (const auto& member : leftOut)
        ExtractReport += member.name + ": " + member.reason + "\n";
    return ResultOf(status);
}

UNACE_EXPORT int32_t ACEGetExtractReport(char* buffer, int32_t size)
{
    if (buffer && size > 0) {
        const size_t n = std::min(ExtractReport.size(), static_cast<size_t>(size) - 1);
        std::memcpy(buffer, ExtractReport.data(), n);
        buffer[n] = '\0';
    }
    return static_cast<int32_t>(std::min<size_t>(ExtractReport.size(), INT32_MAX));
}
