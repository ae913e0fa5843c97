// The library side of the zip component: loading, the callback and the password prompts.
#include "ZipCall.h"

#include "ZipComponent.h"
#include "turnex/ZipRecords.h"
#include "base/Desktop.h"
#include "base/Files.h"

#include <algorithm>
#include <cstring>

using namespace ziprec;

ZipLibSlot& ZipLibrary()
{
    static ZipLibSlot slot {"ZIPLIB.DLL", "ZipLibExec", "GetZipLibVersion", 10601};
    return slot;
}

ZipLibSlot& UnzLibrary()
{
    static ZipLibSlot slot {"UNZLIB.DLL", "UnzLibExec", "GetUnzLibVersion", 10701};
    return slot;
}

const char* TextCopies::Copy(const std::string& text)
{
    auto copy = std::make_unique<char[]>(text.size() + 1);
    std::memcpy(copy.get(), text.c_str(), text.size() + 1);
    texts_.push_back(std::move(copy));
    return texts_.back().get();
}

namespace {

bool LoadSlot(ZipComponent& zip, ZipLibSlot& slot)
{
    try {
        const std::string dir = zip.GetDLLDirectory();
        base::LibHandle h = nullptr;
        if (!dir.empty() && base::FileExists(dir + "\\" + base::SharedObjectName(slot.dllName)))
            h = base::LoadLibrary(slot.dllName, dir);
        else
            h = base::LoadLibrary(slot.dllName);
        if (!h) {
            slot.handle = nullptr;
            zip.ShowZipMessage(slot.firstIdent + 3, "");
            return false;
        }
        slot.handle = h;
        if (zip.Trace)
            zip.ShowZipMessage(slot.firstIdent, "");
        slot.exec = base::GetProcAddress(h, slot.execName);
        slot.version = base::GetProcAddress(h, slot.versionName);
        if (!slot.exec)
            zip.ShowZipMessage(slot.firstIdent + 1, "");
        if (!slot.version)
            zip.ShowZipMessage(slot.firstIdent + 2, "");
        if (!slot.exec || !slot.version) {
            // Never call an entry point that is not there: the library counts as not loaded.
            base::FreeLibrary(h);
            slot.handle = nullptr;
            slot.exec = slot.version = nullptr;
        }
    } catch (...) {
        slot.handle = nullptr;
    }
    return slot.handle != nullptr;
}

void ReleaseSlot(ZipLibSlot& slot)
{
    if (slot.handle)
        base::FreeLibrary(slot.handle);
    slot.handle = nullptr;
    slot.exec = slot.version = nullptr;
}

int32_t QueryVersion(ZipComponent& zip, ZipLibSlot& slot)
{
    const bool loadedHere = !slot.handle;
    if (loadedHere)
        LoadSlot(zip, slot);
    int32_t version = 0;
    if (slot.handle)
        version = reinterpret_cast<VersionFn>(slot.version)();
    if (loadedHere)
        ReleaseSlot(slot);
    return version;
}

// The text field up to its first zero, without trailing blanks and control characters, with
// every "/" turned into "\".
std::string CallbackText(const uint8_t* field)
{
    const char* p = reinterpret_cast<const char*>(field);
    std::string text(p, strnlen(p, kCallbackTextSize));
    while (!text.empty() && static_cast<unsigned char>(text.back()) <= ' ')
        text.pop_back();
    std::replace(text.begin(), text.end(), '/', '\\');
    return text;
}

void PutCallbackText(uint8_t* field, const std::string& text, size_t maxChars)
{
    const size_t n = std::min(text.size(), maxChars);
    std::memcpy(field, text.data(), n);
    field[n] = 0;
}

// What the library's message about a member adds after the member's name ("Cannot extract
// a.bte: LZMA compression is not supported" adds the part after the colon); empty when the
// message is about another member or adds nothing.
std::string MessageDetail(const std::string& member, const std::string& message)
{
    std::string slashed = message;
    std::replace(slashed.begin(), slashed.end(), '/', '\\');
    const std::string marker = member + ": ";
    const size_t at = slashed.find(marker);
    return at == std::string::npos ? std::string() : slashed.substr(at + marker.size());
}

}  // namespace

std::string SkipReason(UnZipSkipTypes kind, const std::string& member, const std::string& libraryMessage)
{
    const std::string detail = MessageDetail(member, libraryMessage);
    const auto with = [&](std::string words) { return detail.empty() ? words : words + " (" + detail + ")"; };
    switch (kind) {
    case stNoOverwrite: return "an existing file of that name was kept";
    case stBadPassword:
        return detail.empty() ? "wrong or missing password" : with("encrypted in a way turnex cannot decrypt");
    case stUnknownMethod: return with("packed with a compression method turnex cannot unpack");
    case stUnsafeName: return detail.empty() ? "unsafe name: it would be written outside the game folder" : detail;
    case stCrcError: return "damaged: its checksum does not match, so it was not kept";
    case stExtractError: return with("could not be unpacked");
    }
    return with("not unpacked");
}

bool ZipComponent::LoadZipLibrary() { return LoadSlot(*this, ZipLibrary()); }
void ZipComponent::ReleaseZipLibrary() { ReleaseSlot(ZipLibrary()); }
bool ZipComponent::LoadUnzipLibrary() { return LoadSlot(*this, UnzLibrary()); }
void ZipComponent::ReleaseUnzipLibrary() { ReleaseSlot(UnzLibrary()); }
int32_t ZipComponent::ZipVersion() { return QueryVersion(*this, ZipLibrary()); }
int32_t ZipComponent::UnzVersion() { return QueryVersion(*this, UnzLibrary()); }

int32_t ZipCallbackEntry(uint8_t* record)
{
    Record<cbFieldCount> rec(record, kCallback);
    auto* zip = static_cast<ZipComponent*>(rec.PtrV(cbCaller));
    return zip ? zip->ZipCallback(record) : 0;
}

int32_t ZipComponent::ZipCallback(uint8_t* record)
{
    Record<cbFieldCount> rec(record, kCallback);
    ZipComponent* caller = static_cast<ZipComponent*>(rec.PtrV(cbCaller));
    uint8_t* textField = rec.At(cbText);
    const std::string text = CallbackText(textField);
    const int32_t err = rec.I32v(cbErrorCode);
    const int32_t size = rec.I32v(cbSize);
    switch (rec.I32v(cbAction)) {
    case acFileStart:
        if (OnProgress)
            OnProgress(caller, NewFile, text, size);
        break;
    case acProgress:
        if (OnProgress)
            OnProgress(caller, ProgressUpdate, "", size);
        break;
    case acEndOfBatch:
        if (OnProgress)
            OnProgress(caller, EndOfBatch, "", 0);
        break;
    case acMessage:
        Message = text;
        lastLibraryMessage_ = text;
        if (err != 0) {
            ErrCode = err & 0xFF;
            FullErrCode = err;
        }
        if (OnMessage)
            OnMessage(caller, err, text);
        break;
    case acTotalFiles:
        if (OnProgress)
            OnProgress(caller, TotalFiles2Process, "", size);
        break;
    case acTotalSize:
        totalSizeToProcess_ = size;
        if (OnProgress)
            OnProgress(caller, TotalSize2Process, "", size);
        break;
    case acNewName:
        if (OnSetNewName) {
            std::string name = text;
            bool changed = false;
            OnSetNewName(caller, name, changed);
            if (changed)
                PutCallbackText(textField, name, kCallbackTextSize - 1);
            rec.SetI32(cbErrorCode, changed ? 1 : 0);
        }
        break;
    case acPassword: {
        std::string password;
        uint32_t count = static_cast<uint32_t>(size);
        if (OnPasswordError)
            OnPasswordError(caller, password, text, count);
        else
            password = (err & 1) ? AskAddPassword() : AskExtractPassword();
        if (!password.empty()) {
            PutCallbackText(textField, password, 80);
            rec.SetI32(cbErrorCode, 1);
        } else {
            count = 0;
            rec.SetI32(cbErrorCode, 0);
        }
        rec.SetU32(cbSize, std::min<uint32_t>(count, 15));
        break;
    }
    case acCrcError:
        if (OnCRC32Error) {
            bool doExtract = true;
            OnCRC32Error(caller, text, static_cast<uint32_t>(err), static_cast<uint32_t>(size), doExtract);
            rec.SetI32(cbErrorCode, doExtract ? 1 : 0);
        } else {
            rec.SetI32(cbErrorCode, 2);
        }
        break;
    case acOverwrite:
        if (OnExtractOverwrite) {
            bool overwrite = (size & 0xFF) != 0;
            OnExtractOverwrite(caller, text, (err & 1) != 0, overwrite);
            rec.SetI32(cbSize, overwrite ? 1 : 0);
        }
        break;
    case acSkipped:
        if (err != 0) {
            ErrCode = err & 0xFF;
            FullErrCode = err;
        }
        SkippedMembers.push_back({text, static_cast<UnZipSkipTypes>(size & 0xFF),
                                  SkipReason(static_cast<UnZipSkipTypes>(size & 0xFF), text, lastLibraryMessage_)});
        if (OnExtractSkipped)
            OnExtractSkipped(caller, text, static_cast<UnZipSkipTypes>(size & 0xFF), err);
        break;
    case acComment:
        if (OnFileComment) {
            std::string comment;
            bool changed = false;
            OnFileComment(caller, text, comment, changed);
            if (changed && !comment.empty())
                PutCallbackText(textField, comment, kCallbackTextSize - 1);
            else
                textField[0] = 0;
            rec.SetI32(cbErrorCode, changed ? 1 : 0);
            rec.SetI32(cbSize, static_cast<int32_t>(std::min<size_t>(comment.size(), kCallbackTextSize - 1)));
        }
        break;
    default: break;
    }
    const int32_t answer = Cancel ? -1 : 0;
    // Let the window repaint, and a click that sets Cancel count at the next callback.
    base::TheDesktop().LetEventsThrough();
    return answer;
}

bool ZipComponent::AskPassword(const std::string& caption, const std::string& prompt, std::string& text)
{
    std::string value;
    const bool accepted = base::TheDesktop().PasswordQuery(caption, prompt, value);
    text = accepted ? value.substr(0, 80) : std::string();
    return accepted;
}

std::string ZipComponent::AskExtractPassword()
{
    if (Unattended) {
        ShowZipMessage(10151, "");
        return "";
    }
    std::string text;
    AskPassword(LoadZipString(10154, kZipMessageFallback), LoadZipString(10155, ""), text);
    return text;
}

std::string ZipComponent::AskAddPassword()
{
    if (Unattended) {
        ShowZipMessage(10150, "");
        return "";
    }
    const std::string caption = LoadZipString(10154, kZipMessageFallback);
    std::string first, second;
    if (!AskPassword(caption, LoadZipString(10155, ""), first) || first.empty())
        return "";
    if (!AskPassword(caption, LoadZipString(10156, ""), second) || second.empty())
        return "";
    if (first != second) {
        ShowZipMessage(10104, "");
        return "";
    }
    return first;
}
