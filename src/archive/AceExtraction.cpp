#include "archive/AceExtraction.h"

#include "archive/ArchiveCommon.h"
#include "base/Desktop.h"
#include "base/CaseFold.h"
#include "base/CodePage.h"
#include "base/DynLib.h"
#include "base/Paths.h"

#include <array>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <set>
#include <vector>

namespace archive {

using namespace unace;

namespace {

struct AceLibrary {
    base::LibHandle handle = nullptr;
    AceInitDllFn initDll = nullptr;
    AceReadArchiveDataFn readArchiveData = nullptr;
    AceExtractFn extract = nullptr;
    AceGetExtractReportFn report = nullptr;  // optional: a library without it names no members
};

AceLibrary AceLibraryHandle;
char AceCommentBuffer[8192];
// Stays an empty text: every member is extracted.
const char AceFileListBuffer[256] = {};
const char kEmptyText[] = "";
const char kTempDir[] = "C:\\TEMP";

constexpr const char* kLibraryName = "UnAceV2.Dll";
constexpr const char* kCaptionLoadError = "ACE Load Error";
constexpr const char* kCaptionExtractError = "ACE Extract Error";

void Show(const std::string& text, const char* caption) { base::TheDesktop().MessageBox(text, caption, base::MB_OK); }

}  // namespace

bool LoadAceLibrary()
{
    AceLibraryHandle.handle = base::LoadLibrary(kLibraryName);
    if (!AceLibraryHandle.handle)
        return false;
    AceLibraryHandle.initDll =
        reinterpret_cast<AceInitDllFn>(base::GetProcAddress(AceLibraryHandle.handle, "ACEInitDll"));
    AceLibraryHandle.readArchiveData =
        reinterpret_cast<AceReadArchiveDataFn>(base::GetProcAddress(AceLibraryHandle.handle, "ACEReadArchiveData"));
    AceLibraryHandle.extract =
        reinterpret_cast<AceExtractFn>(base::GetProcAddress(AceLibraryHandle.handle, "ACEExtract"));
    AceLibraryHandle.report =
        reinterpret_cast<AceGetExtractReportFn>(base::GetProcAddress(AceLibraryHandle.handle, "ACEGetExtractReport"));
    if (!AceLibraryHandle.initDll || !AceLibraryHandle.readArchiveData || !AceLibraryHandle.extract) {
        // Without a console nobody reads this line; the message box that follows says enough.
        std::fputs("Could not find function in UnAceV2.Dll!\n", stdout);
        std::fflush(stdout);
        FreeAceLibrary();
        return false;
    }
    return true;
}

int InitAceLibrary()
{
    std::array<uint8_t, kAceInitRecord.size> record {};
    PutRecordNumber(record.data(), kAceInitRecord.fixedValue1, kAceInitValue1);
    PutRecordNumber(record.data(), kAceInitRecord.fixedValue2, kAceInitValue2);
    PutRecordAddress(record.data(), kAceInitRecord.commentBuffer, AceCommentBuffer);
    PutRecordNumber(record.data(), kAceInitRecord.commentBufferSize, static_cast<int32_t>(sizeof AceCommentBuffer));
    PutRecordAddress(record.data(), kAceInitRecord.tempDir, kTempDir);
    return AceLibraryHandle.initDll(record.data());
}

int ExtractAceFiles(const std::string& archivePath, const std::string& destDir, int32_t flag)
{
    return ExtractAceMembers(archivePath, destDir, flag, AceFileListBuffer);
}

int ExtractAceMembers(const std::string& archivePath, const std::string& destDir, int32_t flag,
                      const std::string& fileList)
{
    std::array<uint8_t, kAceExtractRecord.size> record {};
    PutRecordAddress(record.data(), kAceExtractRecord.baseDir, kEmptyText);
    PutRecordAddress(record.data(), kAceExtractRecord.fileList, fileList.c_str());
    PutRecordAddress(record.data(), kAceExtractRecord.excludeList, kEmptyText);
    PutRecordNumber(record.data(), kAceExtractRecord.options, 0);
    PutRecordAddress(record.data(), kAceExtractRecord.destinationDir, destDir.c_str());
    PutRecordNumber(record.data(), kAceExtractRecord.flags, flag);
    PutRecordAddress(record.data(), kAceExtractRecord.extraText, kEmptyText);
    return AceLibraryHandle.extract(archivePath.c_str(), record.data());
}

std::string AceExtractReport()
{
    if (!AceLibraryHandle.report)
        return {};
    const int32_t size = AceLibraryHandle.report(nullptr, 0);
    if (size <= 0)
        return {};
    std::string text(static_cast<size_t>(size) + 1, '\0');
    AceLibraryHandle.report(text.data(), size + 1);
    text.resize(std::strlen(text.c_str()));
    return text;
}

std::string AceLeftOutText(const std::string& report)
{
    std::vector<std::string> lines;
    size_t start = 0;
    while (start < report.size()) {
        size_t end = report.find('\n', start);
        if (end == std::string::npos)
            end = report.size();
        if (end > start)
            lines.push_back(report.substr(start, end - start));
        start = end + 1;
    }
    return LeftOutList(lines);
}

void FreeAceLibrary()
{
    // The handle keeps its stale value; the next load overwrites it.
    base::FreeLibrary(AceLibraryHandle.handle);
}

std::string AceExtractErrorText(int result)
{
    switch (result) {
    case kAceErrorOpen: return "Extraction failed: the ACE-archive could not be read!";
    case kAceErrorNotAce: return "No ACE-archive!";
    case kAceErrorDamaged: return "Extraction failed: the ACE-archive is damaged!";
    case kAceErrorEncrypted: return "Extraction failed: the ACE-archive is encrypted!";
    case kAceErrorMultiVolume: return "Extraction failed: multi-volume ACE-archives are not supported!";
    case kAceErrorWrite: return "Extraction failed: a file could not be written to the game directory!";
    case kAceErrorUnsupported: return "Extraction failed: the ACE-archive needs a newer version of UnAceV2.Dll!";
    case kAceErrorUnsafeName: return "Extraction failed: the ACE-archive names a file outside the game directory!";
    default: return "Extraction failed: error " + std::to_string(result) + " in UnAceV2.Dll!";
    }
}

namespace {

uint16_t Get16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | p[1] << 8); }
uint32_t Get32(const uint8_t* p) { return Get16(p) | static_cast<uint32_t>(Get16(p + 2)) << 16; }
uint64_t Get64(const uint8_t* p) { return Get32(p) | static_cast<uint64_t>(Get32(p + 4)) << 32; }

constexpr uint64_t kChunkBytes = 4u << 20;  // a stop waits for at most this much packed data
// The library looks every member up in the list it is given, and every call walks the whole
// archive: past these counts the calls would cost more than the stop is worth.
constexpr size_t kChunkNames = 256;
constexpr size_t kMostMembersInChunks = 4096;
constexpr char kAceSignature[] = "**ACE**";

// Members grouped a few megabytes at a time, each name once: the library unpacks every member
// of a name it is given, so a name listed twice would be written twice.
std::vector<std::vector<const AceMemberList::Member*>> Chunks(const AceMemberList& list)
{
    std::vector<std::vector<const AceMemberList::Member*>> chunks(1);
    std::set<std::string> seen;
    uint64_t bytes = 0;
    for (const auto& member : list.members) {
        if (!seen.insert(base::FoldCase(base::OemToUtf8(member.name))).second)
            continue;
        if (bytes >= kChunkBytes || chunks.back().size() >= kChunkNames) {
            chunks.emplace_back();
            bytes = 0;
        }
        chunks.back().push_back(&member);
        bytes += member.packSize;
    }
    return chunks;
}

// The member names of a report line ("name: reason") that a chunk left out.
bool NamedIn(const std::string& report, const std::string& shownName)
{
    return report.find(shownName + ": ") != std::string::npos;
}

std::string ShownName(const std::string& stored)
{
    std::string name = base::OemToUtf8(stored);
    for (char& c : name)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F)
            c = '?';
    return name;
}

void ShowOutcome(int result, const std::string& report)
{
    // Success is claimed only for an extraction the library reported as done; a failure names
    // the members left out, and why, under the library's result.
    if (result == kAceOk && report.empty())
        Show("File(s) extracted succesfully(unace) !", "Success");
    else
        Show(AceExtractErrorText(result == kAceOk ? kAceErrorWrite : result) + AceLeftOutText(report),
             kCaptionExtractError);
}

}  // namespace

std::optional<AceMemberList> ListAceMembers(const std::string& nativePath)
{
    std::ifstream in(nativePath, std::ios::binary);
    if (!in)
        return std::nullopt;
    in.seekg(0, std::ios::end);
    const auto end = static_cast<uint64_t>(in.tellg());
    AceMemberList list;
    list.archiveSize = end;
    std::vector<uint8_t> header;
    // One block: CRC (2), size (2), then size bytes of header. The library checks the CRCs.
    auto readBlock = [&](uint64_t pos) {
        uint8_t head[4];
        if (end - pos < 4 || !in.seekg(static_cast<std::streamoff>(pos)) || !in.read(reinterpret_cast<char*>(head), 4))
            return false;
        const uint16_t size = Get16(head + 2);
        if (size < 3 || end - pos - 4 < size)
            return false;
        header.resize(size);
        return static_cast<bool>(in.read(reinterpret_cast<char*>(header.data()), size));
    };
    if (!readBlock(0) || header.size() < 26 || header[0] != 0 || std::memcmp(header.data() + 3, kAceSignature, 7) != 0)
        return std::nullopt;
    list.solid = (Get16(header.data() + 1) & 0x8000) != 0;
    uint64_t pos = 4 + header.size();
    while (pos < end) {
        if (!readBlock(pos))
            return std::nullopt;
        const uint8_t type = header[0];
        const uint16_t flags = Get16(header.data() + 1);
        const bool wide = (flags & 0x0004) != 0;
        uint64_t addSize = 0;
        if (flags & 0x0001) {
            if (header.size() < (wide ? 11u : 7u))
                return std::nullopt;
            addSize = wide ? Get64(header.data() + 3) : Get32(header.data() + 3);
        }
        if (type == 1 || type == 3) {
            const size_t shift = wide ? 8 : 0;
            if (header.size() < 31 + shift)
                return std::nullopt;
            const size_t nameSize = Get16(header.data() + 29 + shift);
            if (31 + shift + nameSize > header.size())
                return std::nullopt;
            std::string name(reinterpret_cast<const char*>(header.data()) + 31 + shift, nameSize);
            if (auto nul = name.find('\0'); nul != std::string::npos)
                name.resize(nul);
            // The library takes a list of names one a line: such a name could not be asked for.
            if (name.find_first_of("\r\n") != std::string::npos)
                return std::nullopt;
            list.members.push_back({std::move(name), addSize});
        }
        const uint64_t next = pos + 4 + header.size();
        if (addSize > end - next)
            return std::nullopt;
        pos = next + addSize;
    }
    return list;
}

void ExtractAceArchive(const std::string& archivePath, const std::string& gameDir, WorkProgress* progress)
{
    if (!LoadAceLibrary()) {
        Show("Could not find UnAceV2.Dll (must be in system, applicaton's or current directory)!", kCaptionLoadError);
        return;
    }
    InitAceLibrary();
    std::array<uint8_t, kAceArchiveDataRecord.size> archiveData {};
    AceLibraryHandle.readArchiveData(archivePath.c_str(), archiveData.data());
    if (GetRecordAddress(archiveData.data(), kAceArchiveDataRecord.archiveInfo) == nullptr) {
        Show("No ACE-archive!", kCaptionExtractError);
        FreeAceLibrary();
        return;
    }
    const auto list = progress ? ListAceMembers(base::NativePath(archivePath)) : std::nullopt;
    const bool chunked = list && !list->solid && list->members.size() <= kMostMembersInChunks;
    const auto chunks = chunked ? Chunks(*list) : decltype(Chunks(*list)) {};
    if (chunks.size() < 2) {
        // Small enough to go at once; solid, so every member needs the ones before it; or too many
        // members to ask for a few at a time.
        int result = ExtractAceFiles(archivePath, gameDir, -1);
        const std::string report = AceExtractReport();
        FreeAceLibrary();
        ShowOutcome(result, report);
        return;
    }

    progress->SetTotal(list->archiveSize);
    progress->SetStoppable(true);
    int result = kAceOk;
    std::string report;
    std::vector<std::string> arrived;
    bool cancelled = false;
    for (const auto& chunk : chunks) {
        if (progress->StopRequested()) {
            cancelled = true;
            break;
        }
        std::string fileList;
        uint64_t bytes = 0;
        for (const auto* member : chunk) {
            fileList += member->name + "\n";
            bytes += member->packSize;
        }
        const int chunkResult = ExtractAceMembers(archivePath, gameDir, -1, fileList);
        const std::string chunkReport = AceExtractReport();
        report += chunkReport;
        for (const auto* member : chunk)
            if (chunkResult == kAceOk || (!chunkReport.empty() && !NamedIn(chunkReport, ShownName(member->name))))
                arrived.push_back(ShownName(member->name));
        progress->AddDone(bytes);
        if (chunkResult == kAceOk)
            continue;
        if (result == kAceOk)
            result = chunkResult;
        // Members the folder refused leave the others unpacked; anything else ends the archive.
        const bool refusedOnly =
            (chunkResult == kAceErrorWrite || chunkResult == kAceErrorUnsafeName) && !chunkReport.empty();
        if (!refusedOnly)
            break;
    }
    FreeAceLibrary();
    if (cancelled) {
        std::string text = CancelledUnpackText(base::ExtractFileName(archivePath), arrived);
        if (!report.empty())
            text += AceLeftOutText(report);
        Show(text, kCancelledCaption);
        return;
    }
    ShowOutcome(result, report);
}

}  // namespace archive
