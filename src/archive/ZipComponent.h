#pragma once
// The zip archive component: its settings, the archive's central directory, its messages, and
// (ZipCall.cpp) the two operations it hands to the zip libraries. Plain C++ below the widgets:
// every message box and the password prompt go through base::TheDesktop().
#include "base/Errors.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <initializer_list>
#include <string>
#include <vector>

// A set of enumeration members: member n is bit n, low bit first.
template <class E, int Members>
class EnumSet {
public:
    constexpr EnumSet() = default;
    constexpr EnumSet(std::initializer_list<E> members)
    {
        for (E m : members)
            bits_ |= Bit(m);
    }
    constexpr bool Contains(E m) const { return (bits_ & Bit(m)) != 0; }
    constexpr void Include(E m) { bits_ |= Bit(m); }
    constexpr void Exclude(E m) { bits_ &= ~Bit(m); }
    constexpr bool Empty() const { return bits_ == 0; }
    constexpr uint32_t Bits() const { return bits_; }
    // Bytes the set takes when stored.
    static constexpr int ByteSize() { return (Members + 7) / 8; }
    constexpr bool operator==(const EnumSet&) const = default;

private:
    static constexpr uint32_t Bit(E m) { return 1u << static_cast<int>(m); }
    uint32_t bits_ = 0;
};

enum AddOptsEnum {
    AddDirNames,
    AddRecurseDirs,
    AddMove,
    AddFreshen,
    AddUpdate,
    AddZipTime,
    AddForceDOS,
    AddHiddenFiles,
    AddArchiveOnly,
    AddResetArchive,
    AddEncrypt,
    AddSeparateDirs,
    AddVolume,
    AddDiskSpan,
    AddDiskSpanErase
};
enum ExtrOptsEnum { ExtrDirNames, ExtrOverWrite, ExtrFreshen, ExtrUpdate, ExtrTest };
enum SFXOptsEnum { SFXAskCmdLine, SFXAskFiles, SFXAutoRun, SFXHideOverWriteBox, SFXCheckSize, SFXNoSuccessMsg };
enum AddStoreSuffixEnum {
    assGIF,
    assPNG,
    assZ,
    assZIP,
    assZOO,
    assARC,
    assLZH,
    assARJ,
    assTAZ,
    assTGZ,
    assLHA,
    assEXE
};
enum CodePageOpts { cpAuto, cpNone, cpOEM };
enum OvrOpts { OvrConfirm, OvrAlways, OvrNever };
enum DeleteOpts { htdFinal, htdAllowUndo };

using AddOpts = EnumSet<AddOptsEnum, 15>;
using ExtrOpts = EnumSet<ExtrOptsEnum, 5>;
using SFXOpts = EnumSet<SFXOptsEnum, 6>;
using AddStoreExts = EnumSet<AddStoreSuffixEnum, 12>;

// Four-byte fields, one per member of AddStoreSuffixEnum.
inline constexpr char kStoreSuffixes[12][4] = {"gif", "png", "z",   "zip", "zoo", "arc",
                                               "lzh", "arj", "taz", "tgz", "lha", "exe"};

enum ProgressType { NewFile, ProgressUpdate, EndOfBatch, TotalFiles2Process, TotalSize2Process };
// Why the unzip library skipped a file (the low byte of the callback's size value).
enum UnZipSkipTypes : uint8_t {
    stNoOverwrite,
    stBadPassword,
    stUnknownMethod,
    stUnsafeName,
    stCrcError,
    stExtractError
};
enum TZipDiskStatus { zdsEmpty, zdsHasFiles, zdsPreviousDisk, zdsSameFileName, zdsNotEnoughSpace };
enum TZipDiskAction { zdaOk, zdaErase, zdaReject, zdaCancel };

// One entry of the central directory. The sixteen fields up to LocalHeaderOffset are bytes 4 to
// 45 of the entry's central file header, in order and width.
struct ZipDirEntry {
    uint8_t VersionMadeBy = 0;
    uint8_t HostSystem = 0;
    uint16_t VersionNeeded = 0;
    uint16_t Flags = 0;
    uint16_t CompressionMethod = 0;
    uint32_t DosDateTime = 0;
    uint32_t Crc32 = 0;
    uint32_t CompressedSize = 0;
    uint32_t UncompressedSize = 0;
    uint16_t FileNameLength = 0;
    uint16_t ExtraFieldLength = 0;
    uint16_t FileCommentLength = 0;
    uint16_t DiskNumberStart = 0;
    uint16_t InternalAttributes = 0;
    uint32_t ExternalAttributes = 0;
    uint32_t LocalHeaderOffset = 0;
    std::string FileName;
    std::string FileComment;
    uint8_t Encrypted = 0;
    // ExtraFieldLength + 1 bytes holding the extra field; empty when there is none.
    std::vector<uint8_t> ExtraData;
    // The sizes and the local header offset in full: where the header holds 0xFFFFFFFF, the
    // value of the Zip64 extra field, else the header's own.
    uint64_t CompressedSize64 = 0;
    uint64_t UncompressedSize64 = 0;
    uint64_t LocalHeaderOffset64 = 0;

    // Fills the sixteen header fields (and the full values) from a 46-byte central file header.
    void ReadHeader(const uint8_t* header);
    // Takes the full values that the header leaves to the Zip64 extra field from ExtraData.
    void ReadZip64Extra();
};

// The fallback text of a report whose identifier has no text of its own.
inline constexpr const char* kZipMessageFallback =
    "Zip message table is probably not linked to the executable\nMissing String ID is: ";

// The text under a message identifier, or fallback when there is none (an empty text counts as none).
std::string LoadZipString(int ident, const std::string& fallback);
// A report as the player reads it: the text, the archive it concerns (when named) and the
// identifier at the end for reference.
std::string ZipReportText(int ident, const std::string& text, const std::string& archive);
// The report of an identifier with its extra text; an identifier without a text of its own keeps
// the fallback form.
std::string ZipReport(int ident, const std::string& extra, const std::string& archive);

// A member that an extraction left out, and why, in plain words.
struct SkippedMember {
    std::string name;
    UnZipSkipTypes kind;
    std::string reason;
};
// The plain words for a skipped member, with the detail of the library's last message when it
// was about that member.
std::string SkipReason(UnZipSkipTypes kind, const std::string& member, const std::string& libraryMessage);

class EZipComponent : public base::Exception {
public:
    EZipComponent(int ident, bool display);
    EZipComponent(int ident, int diskNo);
    EZipComponent(int ident, const std::string& drive);
    int HelpContext = 0;
    bool DisplayMsg = false;
    int Ident = 0;

private:
    static std::string Text(int ident, bool hasInsert, const std::string& insert);
};

class ZipComponent {
public:
    ZipComponent();
    ~ZipComponent();
    ZipComponent(const ZipComponent&) = delete;
    ZipComponent& operator=(const ZipComponent&) = delete;

    // ---- published properties ----
    bool Verbose = false;
    bool Trace = false;
    int32_t AddCompLevel = 9;
    AddOpts AddOptions;
    std::string ExtrBaseDir;
    ExtrOpts ExtrOptions;
    SFXOpts SFXOptions {SFXCheckSize};
    std::vector<std::string> FSpecArgs;
    bool Unattended = false;
    const std::string& GetZipFileName() const { return zipFileName_; }
    void SetZipFileName(const std::string& name);
    const std::string& GetPassword() const { return password_; }
    void SetPassword(const std::string& password);  // cut to 255 characters
    std::string SFXPath = "SfxStub.bin";
    const std::string& GetDLLDirectory() const { return dllDirectory_; }
    void SetDLLDirectory(const std::string& dir);
    OvrOpts SFXOverWriteMode = OvrConfirm;
    std::string SFXCaption = "Self-extracting Archive";
    std::string SFXDefaultDir;
    std::string SFXCommandLine;
    std::string SFXMessage;
    std::string TempDir;
    int32_t KeepFreeOnDisk1 = 0;
    int32_t MaxVolumeSize = 0;
    int32_t MinFreeVolumeSize = 65536;
    bool ConfirmErase = true;
    CodePageOpts CodePage = cpAuto;
    DeleteOpts HowToDelete = htdAllowUndo;
    std::string VersionInfo() const { return "1.60 L"; }
    void SetVersionInfo(const std::string&) {}  // read-only: assigning has no effect
    std::vector<uint8_t> SFXIcon;               // the icon's bytes; only the self-extracting conversion uses it
    AddStoreExts AddStoreSuffixes {assGIF, assPNG, assZ,   assZIP, assZOO, assARC,
                                   assLZH, assARJ, assTAZ, assTGZ, assLHA};
    uint32_t GetPasswordReqCount() const { return passwordReqCount_; }
    void SetPasswordReqCount(uint32_t count);  // above 15 stored as 15
    std::vector<std::string> FSpecArgsExcl;
    bool UseDirOnlyEntries = false;
    const std::string& GetRootDir() const { return rootDir_; }
    void SetRootDir(const std::string& dir);

    // ---- events ----
    std::function<void(ZipComponent* Sender)> OnDirUpdate;
    std::function<void(ZipComponent* Sender, ProgressType ProgrType, const std::string& Filename, int32_t FileSize)>
        OnProgress;
    std::function<void(ZipComponent* Sender, int32_t ErrCode, const std::string& Message)> OnMessage;
    std::function<void(ZipComponent* Sender, std::string& OldFileName, bool& IsChanged)> OnSetNewName;
    std::function<void(ZipComponent* Sender, int32_t SeqNo, ZipDirEntry& ZipEntry)> OnNewName;
    std::function<void(ZipComponent* Sender, std::string& NewPassword, const std::string& ForFile,
                       uint32_t& RepeatCount)>
        OnPasswordError;
    std::function<void(ZipComponent* Sender, const std::string& ForFile, uint32_t FoundCRC, uint32_t ExpectedCRC,
                       bool& DoExtract)>
        OnCRC32Error;
    std::function<void(ZipComponent* Sender, const std::string& ForFile, bool IsOlder, bool& DoOverwrite)>
        OnExtractOverwrite;
    std::function<void(ZipComponent* Sender, const std::string& ForFile, UnZipSkipTypes SkipType, int32_t ExtError)>
        OnExtractSkipped;
    std::function<void(ZipComponent* Sender, const std::string& ForFile, bool& DoOverwrite)> OnCopyZipOverwrite;
    std::function<void(ZipComponent* Sender, int32_t DiskSeqNo, int32_t DiskTotal, const std::string& Drive,
                       bool& AbortAction)>
        OnGetNextDisk;
    std::function<void(ZipComponent* Sender, int32_t PreviousDisk, const std::string& PreviousFile,
                       TZipDiskStatus Status, TZipDiskAction& Action)>
        OnStatusDisk;
    std::function<void(ZipComponent* Sender, const std::string& ForFile, std::string& FileComment, bool& IsChanged)>
        OnFileComment;

    // ---- public state ----
    std::vector<ZipDirEntry> DirEntries;
    int32_t Count() const { return zipFileName_.empty() ? 0 : static_cast<int32_t>(DirEntries.size()); }
    int32_t SuccessCount = 0;
    // The members the last Extract left out, in the order the library named them.
    std::vector<SkippedMember> SkippedMembers;
    // The library's last message during the last Add or Extract ("" when it gave none).
    const std::string& LastLibraryMessage() const { return lastLibraryMessage_; }
    // How many reports the component has shown in a message box so far: a caller that must say
    // why an operation failed knows from it whether the component already has.
    int32_t ReportsShown() const { return reportsShown_; }
    int32_t ErrCode = 0;
    int32_t FullErrCode = 0;
    std::string Message;
    std::string ArchiveComment;
    // Read by the callback on the thread the library runs on; set from the window's thread.
    std::atomic<bool> Cancel {false};
    void* Handle = nullptr;
    uint32_t FirstLocalOffset = 0;

    // ---- operations ----
    void ReadDirectory();
    void ShowZipMessage(int32_t ident, const std::string& extra);
    std::string LoadZipString(int ident, const std::string& fallback) const { return ::LoadZipString(ident, fallback); }
    // Direction 0: a name or comment of the last directory entry read, from OEM 437 to UTF-8 where
    // its host wrote OEM and it is not flagged as UTF-8; direction 1: UTF-8 to OEM 437.
    std::string ConvertCharset(const std::string& text, int direction) const;

    // Library side (ZipCall.cpp).
    void Add();
    void Extract();
    int32_t ZipVersion();
    int32_t UnzVersion();
    std::string AskAddPassword();
    std::string AskExtractPassword();
    bool AskPassword(const std::string& caption, const std::string& prompt, std::string& text);
    // Answers one callback of a library; the record carries this component as its caller.
    int32_t ZipCallback(uint8_t* record);
    // ".gif:.png:..." for the members of AddStoreSuffixes.
    std::string StoredSuffixText() const;
    bool LoadZipLibrary();
    void ReleaseZipLibrary();
    bool LoadUnzipLibrary();
    void ReleaseUnzipLibrary();

private:
    void ShowExceptionError(const EZipComponent& e);
    void CheckDrive();
    void OpenEndOfDirectory(class DirReader& in, uint8_t* endRecord, int64_t& fileSize);

    std::string zipFileName_;
    std::string password_;
    std::string dllDirectory_;
    std::string rootDir_;
    uint32_t passwordReqCount_ = 1;

    bool addBusy_ = false;
    bool extractBusy_ = false;
    std::string driveRoot_;
    std::string volumeLabel_;
    uint8_t hostNum_ = 0;
    uint8_t hostVer_ = 0;
    bool utf8Flag_ = false;  // general purpose bit 11 of the last entry read
    int32_t dirOnlyCount_ = 0;
    int32_t diskNr_ = 0;      // number of this disk in the last end record
    int32_t totalDisks_ = 0;  // current disk of the last directory read
    bool spanned_ = false;
    int64_t totalSizeToProcess_ = 0;
    int64_t realFileSize_ = 0;
    uint8_t* runningRecord_ = nullptr;
    std::string lastLibraryMessage_;  // the library's last message of the running call
    int32_t reportsShown_ = 0;
    std::vector<uint8_t> zipStream_;  // extraction into memory, not reached by this program
};
