#include "archive/RarExtraction.h"

#include "archive/ArchiveCommon.h"
#include "base/Desktop.h"
#include "base/Paths.h"

#include "turnex/unrar.h"

#include <cstring>
#include <vector>

namespace archive {

namespace {

constexpr unsigned kCommentBufferSize = 16384;

constexpr const char* kOpenCaption = "unRAR - Open error";
constexpr const char* kExtractCaption = "unRAR - Extract error";
constexpr const char* kReadCaption = "unRAR - read error";
constexpr const char* kHeaderBroken = "File header broken";

// The messages of a failed open; null where the code has none.
const char* OpenMessage(int code)
{
    switch (code) {
    case ERAR_NO_MEMORY: return "Not enough memory to initialize data structures";
    case ERAR_BAD_DATA: return "Archive header broken";
    case ERAR_BAD_ARCHIVE: return "File is not valid RAR archive";
    case ERAR_EOPEN: return "File open error";
    default: return nullptr;
    }
}

// The messages of a failed member; null where the code has none.
const char* ExtractMessage(int code)
{
    switch (code) {
    case ERAR_BAD_DATA: return "File CRC error";
    case ERAR_BAD_ARCHIVE: return "Volume is not valid RAR archive";
    case ERAR_UNKNOWN_FORMAT: return "Unknown archive format";
    case ERAR_EOPEN: return "Volume open error";
    case ERAR_ECREATE: return " File create error";
    case ERAR_ECLOSE: return "File close error";
    case ERAR_EREAD: return "Read error";
    case ERAR_EWRITE: return "Write error";
    default: return nullptr;
    }
}

void Show(const char* text, const char* caption) { base::TheDesktop().MessageBox(text, caption, base::MB_OK); }

}  // namespace

void ExtractRarArchive(const std::string& archivePath, const std::string& gameDir)
{
    std::vector<char> commentBuffer(kCommentBufferSize, '\0');
    std::string arcName = base::NativePath(archivePath);
    RAROpenArchiveData openData {};
    openData.ArcName = arcName.data();
    openData.OpenMode = RAR_OM_EXTRACT;
    openData.CmtBuf = commentBuffer.data();
    openData.CmtBufSize = kCommentBufferSize;
    void* handle = RAROpenArchive(&openData);
    if (openData.OpenResult != ERAR_SUCCESS) {
        if (const char* text = OpenMessage(static_cast<int>(openData.OpenResult)))
            Show(text, kOpenCaption);
        return;
    }
    if (!handle)
        return;  // a library that reports success without a handle has nothing to read from

    if (openData.CmtState == 1) {
        // Never trust the library to have ended the text inside the buffer.
        std::string comment(commentBuffer.data(), strnlen(commentBuffer.data(), commentBuffer.size()));
        base::TheDesktop().MessageBox(comment, "Comment", base::MB_OK);
    }

    RARHeaderData headerData {};
    headerData.CmtBuf = nullptr;
    // An empty game directory stays empty; NativeDestination would make it the root folder.
    std::string destPath = gameDir.empty() ? std::string() : NativeDestination(gameDir);
    int readResult;
    while ((readResult = RARReadHeader(handle, &headerData)) == ERAR_SUCCESS) {
        int processResult = RARProcessFile(handle, RAR_EXTRACT, destPath.data(), nullptr);
        if (processResult != ERAR_SUCCESS) {
            if (const char* text = ExtractMessage(processResult))
                Show(text, kExtractCaption);
            RARCloseArchive(handle);
            return;
        }
    }
    if (readResult == ERAR_END_ARCHIVE) {
        Show("File(s) extracted succesfully(unrar) !", "Success");
    } else {
        // A header that could not be read is a failure, whatever its code.
        const char* text = readResult == ERAR_BAD_DATA ? nullptr : ExtractMessage(readResult);
        Show(text ? text : kHeaderBroken, kReadCaption);
    }
    RARCloseArchive(handle);
}

}  // namespace archive
