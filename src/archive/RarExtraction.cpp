#include "archive/RarExtraction.h"

#include "archive/ArchiveCommon.h"
#include "base/CodePage.h"
#include "base/Desktop.h"
#include "base/Paths.h"

#include "turnex/unrar.h"

#include <cstring>
#include <filesystem>
#include <optional>
#include <vector>

namespace archive {

namespace {

constexpr unsigned kCommentBufferSize = 16384;

constexpr const char* kOpenCaption = "unRAR - Open error";
constexpr const char* kExtractCaption = "unRAR - Extract error";
constexpr const char* kReadCaption = "unRAR - read error";
constexpr const char* kHeaderBroken = "File header broken";

// The messages of a failed open that the program always had; null for the others.
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

// The messages of a failed member that the program always had; null for the others.
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

// What a library code means, for the messages that have no text of their own.
std::string MeaningOf(int code)
{
    std::string meaning;
    switch (code) {
    case ERAR_END_ARCHIVE: meaning = "the archive ended too soon"; break;
    case ERAR_NO_MEMORY: meaning = "not enough memory"; break;
    case ERAR_BAD_DATA: meaning = "damaged data"; break;
    case ERAR_BAD_ARCHIVE: meaning = "not a valid RAR archive"; break;
    case ERAR_UNKNOWN_FORMAT: meaning = "unknown archive format"; break;
    case ERAR_EOPEN: meaning = "a file could not be opened"; break;
    case ERAR_ECREATE: meaning = "a file could not be created"; break;
    case ERAR_ECLOSE: meaning = "a file could not be closed"; break;
    case ERAR_EREAD: meaning = "read error"; break;
    case ERAR_EWRITE: meaning = "write error"; break;
    case ERAR_SMALL_BUF: meaning = "a buffer was too small"; break;
    case ERAR_MISSING_PASSWORD: meaning = "a password is needed"; break;
    default: meaning = "unknown error"; break;
    }
    return meaning + " (code " + std::to_string(code) + ")";
}

// Text from the archive in a message: a control character in it is shown as "?", so the message
// keeps its lines and terminal codes stay inert.
std::string Printable(std::string text)
{
    for (char& c : text)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F)
            c = '?';
    return text;
}

std::string Quoted(const std::string& name) { return "\"" + Printable(name) + "\""; }

constexpr const char* kNoEncryption = "turnex cannot unpack encrypted RAR archives.";
constexpr const char* kNoVolumes = "turnex cannot unpack files split across volumes.";

// The failed open, for a player who may have several archives: the new texts name this one.
std::string OpenFailureText(int code, const std::string& archiveName)
{
    if (const char* text = OpenMessage(code))
        return text;
    switch (code) {
    case ERAR_MISSING_PASSWORD:
        return "The RAR archive " + Quoted(archiveName) + " is protected by a password; " + kNoEncryption;
    case ERAR_UNKNOWN_FORMAT:
        return "The RAR archive " + Quoted(archiveName) +
               " is in a format version too old or too new for turnex; turnex cannot unpack it.";
    default: return "turnex cannot open the RAR archive " + Quoted(archiveName) + ": " + MeaningOf(code) + ".";
    }
}

// The failed member. A member split across volumes fails for that reason whatever the code
// says, so it is told first.
std::string ExtractFailureText(int code, const RARHeaderData& header, const std::string& archiveName)
{
    const std::string member =
        Quoted(base::TextToUtf8(std::string(header.FileName, strnlen(header.FileName, sizeof header.FileName))));
    const std::string archive = Quoted(archiveName);
    if (code == ERAR_EOPEN && (header.Flags & RHDF_SPLITAFTER))
        return member + " continues in the next volume of the RAR archive " + archive +
               ", and that volume is missing; turnex cannot unpack the file without it.";
    if ((code == ERAR_EOPEN || code == ERAR_UNKNOWN_FORMAT) && (header.Flags & RHDF_SPLITBEFORE))
        return member + " begins in an earlier volume of the RAR archive " + archive + "; " + kNoVolumes;
    if (code == ERAR_UNKNOWN_FORMAT && (header.Flags & RHDF_SPLITAFTER))
        return member + " continues in the next volume of the RAR archive " + archive + "; " + kNoVolumes;
    if (const char* text = ExtractMessage(code))
        return text;
    if (code == ERAR_MISSING_PASSWORD)
        return member + " in the RAR archive " + archive + " is protected by a password; " + kNoEncryption;
    return "turnex could not unpack " + member + " from the RAR archive " + archive + ": " + MeaningOf(code) + ".";
}

// The header read that ended the walk early.
std::string ReadFailureText(int code, const std::string& archiveName)
{
    if (code == ERAR_BAD_DATA)
        return kHeaderBroken;
    if (code == ERAR_MISSING_PASSWORD)
        return "The RAR archive " + Quoted(archiveName) + " is protected by a password; " + kNoEncryption;
    if (const char* text = ExtractMessage(code))
        return text;
    return "turnex could not read the RAR archive " + Quoted(archiveName) + " to its end: " + MeaningOf(code) + ".";
}

// Members the library left out because the destination's rules or the system refused them.
struct Refusal {
    std::string member;
    std::string reason;
    int count = 0;
};

std::optional<Refusal> LastRefusal(void* handle)
{
    constexpr int kFieldSize = 4096;
    std::vector<char> member(kFieldSize, '\0'), reason(kFieldSize, '\0');
    const int count = RARGetLastRefusal(handle, member.data(), kFieldSize, reason.data(), kFieldSize);
    if (count <= 0)
        return std::nullopt;
    return Refusal {std::string(member.data(), strnlen(member.data(), member.size())),
                    std::string(reason.data(), strnlen(reason.data(), reason.size())), count};
}

std::string RefusalText(const Refusal& refusal, const std::string& archiveName)
{
    std::string text = Quoted(refusal.member) + " in the RAR archive " + Quoted(archiveName) +
                       " was not unpacked: " + Printable(refusal.reason) + ".";
    if (refusal.count == 2)
        text += " One more file of it was not unpacked either.";
    else if (refusal.count > 2)
        text += " " + std::to_string(refusal.count - 1) + " more files of it were not unpacked either.";
    return text;
}

// Closing puts the files extracted before a failure in place; when that fails too, the player
// learns it with the failure.
std::string WithCloseResult(std::string text, int closeResult)
{
    if (closeResult != ERAR_SUCCESS)
        text +=
            " Files unpacked before that could not all be put in the game directory either: " + MeaningOf(closeResult) +
            ".";
    return text;
}

void Show(const std::string& text, const char* caption) { base::TheDesktop().MessageBox(text, caption, base::MB_OK); }

}  // namespace

void ExtractRarArchive(const std::string& archivePath, const std::string& gameDir, WorkProgress* progress)
{
    const std::string archiveName = base::ExtractFileName(archivePath);
    std::vector<char> commentBuffer(kCommentBufferSize, '\0');
    std::string arcName = base::NativePath(archivePath);
    RAROpenArchiveData openData {};
    openData.ArcName = arcName.data();
    openData.OpenMode = RAR_OM_EXTRACT;
    openData.CmtBuf = commentBuffer.data();
    openData.CmtBufSize = kCommentBufferSize;
    void* handle = RAROpenArchive(&openData);
    if (openData.OpenResult != ERAR_SUCCESS) {
        Show(OpenFailureText(static_cast<int>(openData.OpenResult), archiveName), kOpenCaption);
        return;
    }
    if (!handle) {
        // A library that reports success without a handle has nothing to read from.
        Show(OpenFailureText(ERAR_UNKNOWN, archiveName), kOpenCaption);
        return;
    }

    if (openData.CmtState == 1) {
        // Never trust the library to have ended the text inside the buffer.
        std::string comment(commentBuffer.data(), strnlen(commentBuffer.data(), commentBuffer.size()));
        base::TheDesktop().MessageBox(comment, "Comment", base::MB_OK);
    }

    RARHeaderData headerData {};
    headerData.CmtBuf = nullptr;
    // An empty game directory stays empty; NativeDestination would make it the root folder.
    std::string destPath = gameDir.empty() ? std::string() : NativeDestination(gameDir);
    // The library unpacks a member in one call, so the walk can stop only between members.
    if (progress) {
        std::error_code error;
        const auto size = std::filesystem::file_size(arcName, error);
        progress->SetTotal(error ? 0 : static_cast<uint64_t>(size));
        progress->SetStoppable(true);
    }
    std::vector<std::string> arrived;
    int readResult;
    for (;;) {
        if ((readResult = RARReadHeader(handle, &headerData)) != ERAR_SUCCESS)
            break;
        // Asked only with a member still to come: a stop after the last one changes nothing.
        if (progress && progress->StopRequested()) {
            // Closing puts the files unpacked so far in their places.
            const int closeResult = RARCloseArchive(handle);
            Show(WithCloseResult(CancelledUnpackText(archiveName, arrived), closeResult), kCancelledCaption);
            return;
        }
        int processResult = RARProcessFile(handle, RAR_EXTRACT, destPath.data(), nullptr);
        if (processResult == ERAR_SUCCESS) {
            if ((headerData.Flags & RHDF_DIRECTORY) != RHDF_DIRECTORY)
                arrived.push_back(base::TextToUtf8(
                    std::string(headerData.FileName, strnlen(headerData.FileName, sizeof headerData.FileName))));
            if (progress)
                progress->AddDone(headerData.PackSize);
        } else {
            const auto refusal = LastRefusal(handle);
            const std::string text = refusal ? RefusalText(*refusal, archiveName)
                                             : ExtractFailureText(processResult, headerData, archiveName);
            Show(WithCloseResult(text, RARCloseArchive(handle)), kExtractCaption);
            return;
        }
    }
    // Success only at the archive's true end, with every file in place: a header that could not
    // be read is a failure, and so is a file that could not take its place at the end.
    const auto refusal = readResult == ERAR_END_ARCHIVE ? std::nullopt : LastRefusal(handle);
    const int closeResult = RARCloseArchive(handle);
    if (refusal)
        Show(WithCloseResult(RefusalText(*refusal, archiveName), closeResult), kExtractCaption);
    else if (readResult != ERAR_END_ARCHIVE)
        Show(WithCloseResult(ReadFailureText(readResult, archiveName), closeResult), kReadCaption);
    else if (closeResult != ERAR_SUCCESS)
        Show("turnex could not put every file of the RAR archive " + Quoted(archiveName) +
                 " in the game directory: " + MeaningOf(closeResult) + ".",
             kExtractCaption);
    else
        Show("File(s) extracted succesfully(unrar) !", "Success");
}

}  // namespace archive
