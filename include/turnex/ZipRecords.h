#pragma once
// The records that pass between the zip component and the zip libraries, and the two zip
// directory records the component reads. Both sides read and write them at explicit offsets
// with little-endian helpers; one constexpr layout per record computes the offsets for a given
// address width, so the 32-bit tables and the records of this machine come from one place.
#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

namespace ziprec {

// ---- little-endian helpers ----

inline uint16_t GetU16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }
inline uint32_t GetU32(const uint8_t* p)
{
    return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) | (static_cast<uint32_t>(p[2]) << 16) |
           (static_cast<uint32_t>(p[3]) << 24);
}
inline void PutU16(uint8_t* p, uint16_t v)
{
    p[0] = static_cast<uint8_t>(v);
    p[1] = static_cast<uint8_t>(v >> 8);
}
inline void PutU32(uint8_t* p, uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        p[i] = static_cast<uint8_t>(v >> (8 * i));
}
inline uint64_t GetUN(const uint8_t* p, size_t n)
{
    uint64_t v = 0;
    for (size_t i = 0; i < n; ++i)
        v |= static_cast<uint64_t>(p[i]) << (8 * i);
    return v;
}
inline uint64_t GetU64(const uint8_t* p) { return GetUN(p, 8); }
inline void PutUN(uint8_t* p, uint64_t v, size_t n)
{
    for (size_t i = 0; i < n; ++i)
        p[i] = static_cast<uint8_t>(v >> (8 * i));
}

// ---- layout description ----

enum class Kind : uint8_t { I16, I32, Ptr, Bytes };

struct FieldDef {
    Kind kind;
    uint32_t bytes = 0;  // only for Kind::Bytes
};

template <size_t N>
struct Layout {
    std::array<uint32_t, N> offset {};
    std::array<uint32_t, N> width {};
    uint32_t size = 0;
};

// Fields follow each other without gaps; an address takes ptrWidth bytes.
template <size_t N>
constexpr Layout<N> Compute(const std::array<FieldDef, N>& defs, uint32_t ptrWidth)
{
    Layout<N> l;
    uint32_t at = 0;
    for (size_t i = 0; i < N; ++i) {
        uint32_t w = 0;
        switch (defs[i].kind) {
        case Kind::I16: w = 2; break;
        case Kind::I32: w = 4; break;
        case Kind::Ptr: w = ptrWidth; break;
        case Kind::Bytes: w = defs[i].bytes; break;
        }
        l.offset[i] = at;
        l.width[i] = w;
        at += w;
    }
    l.size = at;
    return l;
}

constexpr FieldDef I16 {Kind::I16};
constexpr FieldDef I32 {Kind::I32};
constexpr FieldDef I64 {Kind::Bytes, 8};  // only the Zip64 records have them
constexpr FieldDef Ptr {Kind::Ptr};
constexpr FieldDef Gap(uint32_t n) { return FieldDef {Kind::Bytes, n}; }

constexpr uint32_t kNativePtr = sizeof(void*);
constexpr uint32_t kEndMarker = 7;
constexpr uint32_t kNameSlots = 4097;  // pointer slots of the short command forms
constexpr uint32_t kComponentVersion = 160;

// ---- ZipCommand (long form, zip library 151 and up) ----

enum ZipCmd : size_t {
    zcHandle,
    zcCaller,
    zcVersion,
    zcCallback,
    zcTrace,
    zcPassword,
    zcSuffixes,
    zcEncrypt,
    zcHidden,
    zcVolume,
    zcGap40,
    zcNoDirEntries,
    zcGap48,
    zcVerbose,
    zcQuiet,
    zcLevel,
    zcGap64,
    zcGap68,
    zcJunkDirs,
    zcRecurse,
    zcGap78,
    zcAlways,
    zcForceDos,
    zcMove,
    zcGap92,
    zcUpdate,
    zcFreshen,
    zcGap104,
    zcZipTime,
    zcGap112,
    zcGap116,
    zcSpecCount,
    zcArchive,
    // the short form ends here: its end marker and name slots follow the archive name
    zcTempDir,
    zcComment,
    zcArchiveOnly,
    zcResetArchive,
    zcSpecs,
    zcGap144,
    zcExclCount,
    zcExcl,
    zcGap156,
    zcEndMarker,
    zcFieldCount
};

constexpr std::array<FieldDef, zcFieldCount> kZipCommandFields {
    Ptr, Ptr, I32, Ptr, I32, Ptr, Ptr, I32, I32, I32, I32, I32, I32, I32, I32, I32, I32, I32, I32, I16,     I16, I32,
    I32, I32, I32, I32, I32, I32, I32, I32, I32, I32, Ptr, Ptr, Ptr, I16, I16, Ptr, I32, I32, Ptr, Gap(56), I32};

constexpr Layout<zcFieldCount> ZipCommandLayout(uint32_t ptr) { return Compute(kZipCommandFields, ptr); }

// Short form (below 151): the long form up to the archive name, the end marker, the name slots.
constexpr uint32_t ZipShortMarker(uint32_t ptr) { return ZipCommandLayout(ptr).offset[zcArchive] + ptr; }
constexpr uint32_t ZipShortSlots(uint32_t ptr) { return ZipShortMarker(ptr) + 4; }
constexpr uint32_t ZipShortSize(uint32_t ptr) { return ZipShortSlots(ptr) + kNameSlots * ptr; }

// ---- ZipFileSpec ----

enum ZipSpec : size_t { zsSpec, zsGap4, zsPassword, zsEncrypt, zsRecurse, zsGap22, zsRootDir, zsGap40, zsFieldCount };
constexpr std::array<FieldDef, zsFieldCount> kZipFileSpecFields {Ptr, Gap(8), Ptr, I32, I16, Gap(14), Ptr, Gap(64)};
constexpr Layout<zsFieldCount> ZipFileSpecLayout(uint32_t ptr) { return Compute(kZipFileSpecFields, ptr); }

// ---- UnzipCommand (long form, unzip library 152 and up) ----

enum UnzipCmd : size_t {
    ucHandle,
    ucCaller,
    ucVersion,
    ucCallback,
    ucTrace,
    ucGap20,
    ucPassword,
    ucTest,
    ucGap32,
    ucGap36,
    ucQuiet,
    ucVerbose,
    ucUpdate,
    ucFreshen,
    ucDirNames,
    ucOverwrite,
    ucSpecCount,
    ucArchive,
    // the short form ends here
    ucSpecs,
    ucGap76,
    ucMemFlag,
    ucMemBuffer,
    ucMemSize,
    ucGap92,
    ucPasswordReqCount,
    ucGap108,
    ucEndMarker,
    ucFieldCount
};
constexpr std::array<FieldDef, ucFieldCount> kUnzipCommandFields {Ptr, Ptr, I32, Ptr, I32, I32,     Ptr, I32,     I32,
                                                                  I32, I32, I32, I32, I32, I32,     I32, I32,     Ptr,
                                                                  Ptr, I32, I32, Ptr, I32, Gap(12), I32, Gap(36), I32};
constexpr Layout<ucFieldCount> UnzipCommandLayout(uint32_t ptr) { return Compute(kUnzipCommandFields, ptr); }

constexpr uint32_t UnzipShortMarker(uint32_t ptr) { return UnzipCommandLayout(ptr).offset[ucArchive] + ptr; }
constexpr uint32_t UnzipShortSlots(uint32_t ptr) { return UnzipShortMarker(ptr) + 4; }
constexpr uint32_t UnzipShortSize(uint32_t ptr) { return UnzipShortSlots(ptr) + kNameSlots * ptr; }

// ---- UnzipFileSpec ----

enum UnzipSpec : size_t { usSpec, usGap, usFieldCount };
constexpr std::array<FieldDef, usFieldCount> kUnzipFileSpecFields {Ptr, Gap(68)};
constexpr Layout<usFieldCount> UnzipFileSpecLayout(uint32_t ptr) { return Compute(kUnzipFileSpecFields, ptr); }

// ---- CallbackRecord ----

enum Callback : size_t { cbHandle, cbCaller, cbGap, cbAction, cbErrorCode, cbSize, cbText, cbFieldCount };
constexpr uint32_t kCallbackTextSize = 512;
constexpr std::array<FieldDef, cbFieldCount> kCallbackFields {Ptr, Ptr, Gap(8), I32, I32, I32, Gap(kCallbackTextSize)};
constexpr Layout<cbFieldCount> CallbackLayout(uint32_t ptr) { return Compute(kCallbackFields, ptr); }

// The callback every library receives: -1 asks it to stop.
using CallbackFn = int32_t (*)(uint8_t* record);
using ExecFn = int32_t (*)(uint8_t* record);
using VersionFn = int32_t (*)();

// Action codes of the callback.
enum Action : int32_t {
    acFileStart = 1,
    acProgress = 2,
    acEndOfBatch = 3,
    acMessage = 4,
    acTotalFiles = 5,
    acTotalSize = 6,
    acNewName = 7,
    acPassword = 8,
    acCrcError = 9,
    acOverwrite = 10,
    acSkipped = 11,
    acComment = 12
};

// ---- record access on this machine ----

// A record in memory with the offsets of its layout; addresses take this machine's width.
template <size_t N>
class Record {
public:
    Record(uint8_t* base, const Layout<N>& layout) : base_(base), layout_(&layout) {}
    uint8_t* At(size_t f) const { return base_ + layout_->offset[f]; }
    uint32_t U32(size_t f) const { return GetU32(At(f)); }
    int32_t I32v(size_t f) const { return static_cast<int32_t>(GetU32(At(f))); }
    uint16_t U16(size_t f) const { return GetU16(At(f)); }
    void* PtrV(size_t f) const { return reinterpret_cast<void*>(static_cast<uintptr_t>(GetUN(At(f), kNativePtr))); }
    const char* Text(size_t f) const { return static_cast<const char*>(PtrV(f)); }
    void SetU32(size_t f, uint32_t v) const { PutU32(At(f), v); }
    void SetI32(size_t f, int32_t v) const { PutU32(At(f), static_cast<uint32_t>(v)); }
    void SetU16(size_t f, uint16_t v) const { PutU16(At(f), v); }
    void SetPtr(size_t f, const void* p) const { PutUN(At(f), reinterpret_cast<uintptr_t>(p), kNativePtr); }
    uint8_t* Base() const { return base_; }

private:
    uint8_t* base_;
    const Layout<N>* layout_;
};

inline void* GetPtrAt(const uint8_t* p)
{
    return reinterpret_cast<void*>(static_cast<uintptr_t>(GetUN(p, kNativePtr)));
}
inline void PutPtrAt(uint8_t* p, const void* v) { PutUN(p, reinterpret_cast<uintptr_t>(v), kNativePtr); }

inline constexpr auto kZipCommand = ZipCommandLayout(kNativePtr);
inline constexpr auto kZipFileSpec = ZipFileSpecLayout(kNativePtr);
inline constexpr auto kUnzipCommand = UnzipCommandLayout(kNativePtr);
inline constexpr auto kUnzipFileSpec = UnzipFileSpecLayout(kNativePtr);
inline constexpr auto kCallback = CallbackLayout(kNativePtr);

// The tables of the 32-bit records.
static_assert(ZipCommandLayout(4).size == 216 && ZipCommandLayout(4).offset[zcEndMarker] == 212);
static_assert(ZipShortSize(4) == 16520 && ZipShortMarker(4) == 128);
static_assert(ZipFileSpecLayout(4).size == 104);
static_assert(UnzipCommandLayout(4).size == 148 && UnzipCommandLayout(4).offset[ucEndMarker] == 144);
static_assert(UnzipShortSize(4) == 16464 && UnzipShortMarker(4) == 72);
static_assert(UnzipFileSpecLayout(4).size == 72);
static_assert(CallbackLayout(4).size == 540);

// ---- the library side of the callback ----

// Calls the component's callback with one CallbackRecord and reads back the fields it may change.
class LibraryCallback {
public:
    LibraryCallback(CallbackFn fn, void* caller, void* handle) : fn_(fn), caller_(caller), handle_(handle) {}
    struct Answer {
        int32_t result = 0;  // -1: stop
        int32_t errorCode = 0;
        int32_t size = 0;
        std::string text;
    };
    Answer Call(int32_t action, int32_t errorCode, int32_t size, const std::string& text) const
    {
        Answer a;
        if (!fn_)
            return a;
        uint8_t buf[kCallback.size] = {};
        Record<cbFieldCount> rec(buf, kCallback);
        rec.SetPtr(cbHandle, handle_);
        rec.SetPtr(cbCaller, caller_);
        rec.SetI32(cbAction, action);
        rec.SetI32(cbErrorCode, errorCode);
        rec.SetI32(cbSize, size);
        const size_t n = std::min<size_t>(text.size(), kCallbackTextSize - 1);
        std::memcpy(rec.At(cbText), text.data(), n);
        a.result = fn_(buf);
        a.errorCode = rec.I32v(cbErrorCode);
        a.size = rec.I32v(cbSize);
        const char* t = reinterpret_cast<const char*>(rec.At(cbText));
        a.text.assign(t, strnlen(t, kCallbackTextSize));
        return a;
    }
    // A message for the component (action 4).
    bool Message(const std::string& text, int32_t code = 0) const
    {
        return Call(acMessage, code, 0, text).result != -1;
    }

private:
    CallbackFn fn_;
    void* caller_;
    void* handle_;
};

// ---- zip directory records (fixed widths) ----

constexpr uint32_t kEndSig = 0x06054B50;
constexpr uint32_t kCentralSig = 0x02014B50;
constexpr uint32_t kLocalSig = 0x04034B50;
constexpr uint32_t kSpanSig = 0x08074B50;
constexpr uint32_t kZip64EndSig = 0x06064B50;
constexpr uint32_t kZip64LocatorSig = 0x07064B50;
// The extra field of a central header that holds its 64-bit values.
constexpr uint16_t kZip64ExtraId = 0x0001;
// What a 32-bit field of the classic records holds when its value is in a Zip64 record.
constexpr uint16_t kZip64Marker16 = 0xFFFF;
constexpr uint32_t kZip64Marker32 = 0xFFFFFFFF;

enum EndRec : size_t {
    erSig,
    erThisDisk,
    erCdDisk,
    erDiskEntries,
    erTotalEntries,
    erCdSize,
    erCdOffset,
    erCommentLen,
    erFieldCount
};
constexpr auto kEndRecord = Compute(std::array<FieldDef, erFieldCount> {I32, I16, I16, I16, I16, I32, I32, I16}, 4);
static_assert(kEndRecord.size == 22);

enum CentralRec : size_t {
    chSig,
    chMadeBy,
    chHost,
    chNeeded,
    chFlags,
    chMethod,
    chDosTime,
    chCrc,
    chCompSize,
    chSize,
    chNameLen,
    chExtraLen,
    chCommentLen,
    chDiskStart,
    chIntAttr,
    chExtAttr,
    chLocalOffset,
    chFieldCount
};
constexpr auto kCentralHeader =
    Compute(std::array<FieldDef, chFieldCount> {I32, Gap(1), Gap(1), I16, I16, I16, I32, I32, I32, I32, I16, I16, I16,
                                                I16, I16, I32, I32},
            4);
static_assert(kCentralHeader.size == 46);

// The Zip64 end record (without its extensible data) and its locator, which sits right before
// the classic end record.
enum Zip64EndRec : size_t {
    zeSig,
    zeRecordSize,  // the size of the record after this field
    zeMadeBy,
    zeNeeded,
    zeThisDisk,
    zeCdDisk,
    zeDiskEntries,
    zeTotalEntries,
    zeCdSize,
    zeCdOffset,
    zeFieldCount
};
constexpr auto kZip64EndRecord =
    Compute(std::array<FieldDef, zeFieldCount> {I32, I64, I16, I16, I32, I32, I64, I64, I64, I64}, 4);
static_assert(kZip64EndRecord.size == 56);

enum Zip64Locator : size_t { zlSig, zlEndDisk, zlEndOffset, zlTotalDisks, zlFieldCount };
constexpr auto kZip64Locator = Compute(std::array<FieldDef, zlFieldCount> {I32, I32, I64, I32}, 4);
static_assert(kZip64Locator.size == 20);

}  // namespace ziprec
