#pragma once
// The unace library's C interface ("UnAceV2.Dll", libunacev2.so), shared by the library and the
// program's front end: the three entry points, the records handed to them and their results.
// Both sides read and write the records at explicit offsets with little-endian helpers; one
// constexpr layout per record gives the offsets for an address width.
#include <cstddef>
#include <cstdint>

namespace unace {

// Numbers are 4 bytes, little-endian. Addresses are as wide as a pointer of the running program
// and aligned to their width; reserved areas keep their size. With 4-byte addresses the records
// are the library's original 320, 68 and 156 bytes.

class RecordBuilder {
public:
    constexpr explicit RecordBuilder(size_t addressSize) : addressSize_(addressSize) {}
    constexpr size_t Number()
    {
        size_t at = offset_;
        offset_ += 4;
        return at;
    }
    constexpr size_t Address()
    {
        offset_ = Align(offset_);
        size_t at = offset_;
        offset_ += addressSize_;
        return at;
    }
    constexpr void Reserve(size_t bytes) { offset_ += bytes; }
    constexpr size_t End() const { return Align(offset_); }

private:
    constexpr size_t Align(size_t v) const { return (v + addressSize_ - 1) / addressSize_ * addressSize_; }
    size_t addressSize_;
    size_t offset_ = 0;
};

// To "ACEInitDll".
struct AceInitLayout {
    size_t fixedValue1 = 0;        // kAceInitValue1
    size_t fixedValue2 = 0;        // kAceInitValue2
    size_t commentBuffer = 0;      // address of the buffer the archive comment may be put in
    size_t commentBufferSize = 0;  // its size
    size_t tempDir = 0;            // address of a folder text
    size_t size = 0;
};
constexpr AceInitLayout MakeAceInitLayout(size_t addressSize)
{
    RecordBuilder b(addressSize);
    AceInitLayout l;
    b.Number();  // stays zero
    l.fixedValue1 = b.Number();
    l.fixedValue2 = b.Number();
    l.commentBuffer = b.Address();
    l.commentBufferSize = b.Number();
    b.Reserve(76);
    l.tempDir = b.Address();
    b.Reserve(220);
    l.size = b.End();
    return l;
}
inline constexpr int32_t kAceInitValue1 = 0x1FFFF;
inline constexpr int32_t kAceInitValue2 = 0x2FFFF;

// To "ACEReadArchiveData", filled by the library: the first field is null exactly when the file
// is no ACE archive.
struct AceArchiveDataLayout {
    size_t archiveInfo = 0;
    size_t size = 0;
};
constexpr AceArchiveDataLayout MakeAceArchiveDataLayout(size_t addressSize)
{
    RecordBuilder b(addressSize);
    AceArchiveDataLayout l;
    l.archiveInfo = b.Address();
    b.Reserve(64);
    l.size = b.End();
    return l;
}

// To "ACEExtract".
struct AceExtractLayout {
    size_t baseDir = 0;         // address of a text; empty
    size_t fileList = 0;        // address of the members to extract, one a line; empty: all
    size_t excludeList = 0;     // address of a text; empty
    size_t options = 0;         // 0
    size_t destinationDir = 0;  // address of the destination folder (a program path)
    size_t flags = 0;           // -1
    size_t extraText = 0;       // address of a text; empty
    size_t size = 0;
};
constexpr AceExtractLayout MakeAceExtractLayout(size_t addressSize)
{
    RecordBuilder b(addressSize);
    AceExtractLayout l;
    l.baseDir = b.Address();
    l.fileList = b.Address();
    l.excludeList = b.Address();
    l.options = b.Number();
    b.Reserve(64);
    l.destinationDir = b.Address();
    l.flags = b.Number();
    l.extraText = b.Address();
    b.Reserve(64);
    l.size = b.End();
    return l;
}

inline constexpr AceInitLayout kAceInitRecord = MakeAceInitLayout(sizeof(void*));
inline constexpr AceArchiveDataLayout kAceArchiveDataRecord = MakeAceArchiveDataLayout(sizeof(void*));
inline constexpr AceExtractLayout kAceExtractRecord = MakeAceExtractLayout(sizeof(void*));

inline void PutRecordNumber(uint8_t* record, size_t offset, int32_t value)
{
    auto v = static_cast<uint32_t>(value);
    for (int i = 0; i < 4; ++i)
        record[offset + i] = static_cast<uint8_t>(v >> (8 * i));
}
inline int32_t GetRecordNumber(const uint8_t* record, size_t offset)
{
    uint32_t v = 0;
    for (int i = 0; i < 4; ++i)
        v |= static_cast<uint32_t>(record[offset + i]) << (8 * i);
    return static_cast<int32_t>(v);
}
inline void PutRecordAddress(uint8_t* record, size_t offset, const void* address)
{
    auto v = reinterpret_cast<uintptr_t>(address);
    for (size_t i = 0; i < sizeof(void*); ++i)
        record[offset + i] = static_cast<uint8_t>(v >> (8 * i));
}
inline const void* GetRecordAddress(const uint8_t* record, size_t offset)
{
    uintptr_t v = 0;
    for (size_t i = 0; i < sizeof(void*); ++i)
        v |= static_cast<uintptr_t>(record[offset + i]) << (8 * i);
    return reinterpret_cast<const void*>(v);
}

// Results of "ACEExtract" (and "ACEReadArchiveData"): 0 is success.
enum AceResult : int32_t {
    kAceOk = 0,
    kAceErrorOpen = 1,  // the archive file cannot be read
    kAceErrorNotAce = 2,
    kAceErrorDamaged = 3,  // headers, packed data or a CRC do not match
    kAceErrorEncrypted = 4,
    kAceErrorMultiVolume = 5,
    kAceErrorWrite = 6,        // a file or folder could not be written
    kAceErrorUnsupported = 7,  // a newer format version or an unknown method
    kAceErrorUnsafeName = 8,   // a member would land outside the destination
    kAceErrorParameter = 9,    // a record without the fields it needs
};

// ---- Entry points --------------------------------------------------------------------------------

using AceInitDllFn = int32_t (*)(void* record);
using AceReadArchiveDataFn = int32_t (*)(const char* archivePath, void* record);
using AceExtractFn = int32_t (*)(const char* archivePath, void* record);
// Not one of the three: what the last "ACEExtract" left out, one member a line ("name: reason"),
// copied into buffer (cut to size - 1 bytes and zero-terminated when size > 0). Returns the
// length of the whole text. A library without it reports by its result alone.
using AceGetExtractReportFn = int32_t (*)(char* buffer, int32_t size);

}  // namespace unace

#define UNACE_EXPORT extern "C" __attribute__((visibility("default")))

// The init record: keeps the comment buffer for the calls that follow.
UNACE_EXPORT int32_t ACEInitDll(void* record);
// Fills the archive-data record; its first field stays null for a file that is no ACE archive.
UNACE_EXPORT int32_t ACEReadArchiveData(const char* archivePath, void* record);
// Extracts the archive as the extract record says; an AceResult.
UNACE_EXPORT int32_t ACEExtract(const char* archivePath, void* record);
UNACE_EXPORT int32_t ACEGetExtractReport(char* buffer, int32_t size);
