#include "archive/AceExtraction.h"

#include "archive/ArchiveCommon.h"
#include "base/Desktop.h"
#include "base/DynLib.h"

#include <array>
#include <cstdio>
#include <cstring>
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
    std::array<uint8_t, kAceExtractRecord.size> record {};
    PutRecordAddress(record.data(), kAceExtractRecord.baseDir, kEmptyText);
    PutRecordAddress(record.data(), kAceExtractRecord.fileList, AceFileListBuffer);
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

void ExtractAceArchive(const std::string& archivePath, const std::string& gameDir)
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
    int result = ExtractAceFiles(archivePath, gameDir, -1);
    const std::string report = AceExtractReport();
    FreeAceLibrary();
    // Success is claimed only for an extraction the library reported as done; a failure names
    // the members left out, and why, under the library's result.
    if (result == kAceOk && report.empty())
        Show("File(s) extracted succesfully(unace) !", "Success");
    else
        Show(AceExtractErrorText(result == kAceOk ? kAceErrorWrite : result) + AceLeftOutText(report),
             kCaptionExtractError);
}

}  // namespace archive
