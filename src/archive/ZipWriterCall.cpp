// Add: hands the files of FSpecArgs to the zip library.
#include "ZipWriterCall.h"

#include "ZipComponent.h"
#include "turnex/ZipRecords.h"

#include <cctype>

using namespace ziprec;

namespace {
constexpr int32_t Flag(bool b) { return b ? -1 : 0; }
}  // namespace

std::string ZipComponent::StoredSuffixText() const
{
    std::string text;
    for (int m = assGIF; m <= assEXE; ++m)
        if (AddStoreSuffixes.Contains(static_cast<AddStoreSuffixEnum>(m)))
            text += std::string(".") + kStoreSuffixes[m] + ":";
    if (!text.empty())
        text.pop_back();
    return text;
}

void BuildZipCommand(ZipComponent& zip, int32_t version, ZipCommandBuffers& out)
{
    const bool longForm = version >= 151;
    out.record.assign(longForm ? kZipCommand.size : ZipShortSize(kNativePtr), 0);
    Record<zcFieldCount> cmd(out.record.data(), kZipCommand);
    const AddOpts& o = zip.AddOptions;

    cmd.SetPtr(zcHandle, zip.Unattended ? nullptr : zip.Handle);
    cmd.SetPtr(zcCaller, &zip);
    cmd.SetU32(zcVersion, kComponentVersion);
    cmd.SetPtr(zcCallback, reinterpret_cast<const void*>(&ZipCallbackEntry));
    cmd.SetI32(zcTrace, Flag(zip.Trace));
    if (!zip.GetPassword().empty())
        cmd.SetPtr(zcPassword, out.texts.Copy(zip.GetPassword().substr(0, 81)));
    if (!zip.AddStoreSuffixes.Empty())
        cmd.SetPtr(zcSuffixes, out.texts.Copy(zip.StoredSuffixText()));
    const int32_t encrypt = Flag(o.Contains(AddEncrypt));
    cmd.SetI32(zcEncrypt, encrypt);
    cmd.SetI32(zcHidden, Flag(o.Contains(AddHiddenFiles)));
    cmd.SetI32(zcVolume, Flag(o.Contains(AddVolume)));
    cmd.SetI32(zcNoDirEntries, Flag(!o.Contains(AddSeparateDirs)));
    cmd.SetI32(zcVerbose, Flag(zip.Verbose || zip.Trace));
    cmd.SetI32(zcQuiet, -1);
    cmd.SetI32(zcLevel, zip.AddCompLevel);
    cmd.SetI32(zcJunkDirs, Flag(!o.Contains(AddDirNames)));
    const uint16_t recurse = o.Contains(AddRecurseDirs) ? 0xFFFF : 0;
    cmd.SetU16(zcRecurse, recurse);
    cmd.SetI32(zcAlways, -1);
    cmd.SetI32(zcForceDos, Flag(o.Contains(AddForceDOS)));
    cmd.SetI32(zcMove, Flag(o.Contains(AddMove)));
    const bool update = o.Contains(AddUpdate);
    cmd.SetI32(zcUpdate, Flag(update));
    cmd.SetI32(zcFreshen, Flag(o.Contains(AddFreshen) && !update));
    cmd.SetI32(zcZipTime, Flag(o.Contains(AddZipTime)));
    cmd.SetPtr(zcArchive, out.texts.Copy(zip.GetZipFileName()));
    cmd.SetU32(zcSpecCount, static_cast<uint32_t>(zip.FSpecArgs.size()));

    if (!longForm) {
        PutU32(out.record.data() + ZipShortMarker(kNativePtr), kEndMarker);
        for (size_t i = 0; i < zip.FSpecArgs.size() && i < kNameSlots; ++i)
            PutPtrAt(out.record.data() + ZipShortSlots(kNativePtr) + i * kNativePtr, out.texts.Copy(zip.FSpecArgs[i]));
        return;
    }

    if (!zip.TempDir.empty())
        cmd.SetPtr(zcTempDir, out.texts.Copy(zip.TempDir));
    if (version >= 160) {
        if (!zip.ArchiveComment.empty())
            cmd.SetPtr(zcComment, out.texts.Copy(zip.ArchiveComment));
        cmd.SetU16(zcArchiveOnly, o.Contains(AddArchiveOnly) ? 1 : 0);
        cmd.SetU16(zcResetArchive, o.Contains(AddResetArchive) ? 1 : 0);
        if (!zip.FSpecArgsExcl.empty()) {
            cmd.SetU32(zcExclCount, static_cast<uint32_t>(zip.FSpecArgsExcl.size()));
            out.exclusions.assign(zip.FSpecArgsExcl.size() * kNativePtr, 0);
            for (size_t i = 0; i < zip.FSpecArgsExcl.size(); ++i)
                PutPtrAt(out.exclusions.data() + i * kNativePtr, out.texts.Copy(zip.FSpecArgsExcl[i]));
            cmd.SetPtr(zcExcl, out.exclusions.data());
        }
    }

    out.items.assign(zip.FSpecArgs.size() * kZipFileSpec.size, 0);
    const char* recordPassword = static_cast<const char*>(cmd.PtrV(zcPassword));
    for (size_t i = 0; i < zip.FSpecArgs.size(); ++i) {
        Record<zsFieldCount> item(out.items.data() + i * kZipFileSpec.size, kZipFileSpec);
        const std::string& s = zip.FSpecArgs[i];
        uint16_t specRecurse = recurse;
        uint32_t specEncrypt = static_cast<uint32_t>(encrypt);
        const char* password = recordPassword ? out.texts.Copy(recordPassword) : nullptr;
        size_t start = 0;  // 0-based here
        size_t n = s.size();
        if (!s.empty() && s[0] == '>') {
            specRecurse = 0xFFFF;
            start = 1;
        }
        if (!s.empty() && s[0] == '|') {
            specRecurse = 0;
            start += 1;
        }
        const size_t lt = s.find('<');
        if (lt != std::string::npos) {
            specEncrypt = 0xFFFF;
            password = nullptr;
            if (lt + 1 < s.size()) {
                password = out.texts.Copy(s.substr(lt + 1));
                n = lt;
            } else {
                specEncrypt = 0;
            }
        }
        item.SetU16(zsRecurse, specRecurse);
        item.SetU32(zsEncrypt, specEncrypt);
        item.SetPtr(zsPassword, password);
        if (!zip.GetRootDir().empty())
            item.SetPtr(zsRootDir, out.texts.Copy(zip.GetRootDir()));
        item.SetPtr(zsSpec, out.texts.Copy(start < n ? s.substr(start, n - start) : std::string()));
    }
    cmd.SetPtr(zcSpecs, out.items.data());
    cmd.SetU32(zcEndMarker, kEndMarker);
}

void ZipComponent::Add()
{
    SuccessCount = 0;
    lastLibraryMessage_.clear();
    if (FSpecArgs.empty()) {
        ShowZipMessage(10301, "");
        return;
    }
    if (zipFileName_.empty()) {
        ShowZipMessage(10102, "");
        return;
    }
    if (Unattended && AddOptions.Contains(AddEncrypt) && password_.empty()) {
        ShowZipMessage(10302, "");
        return;
    }
    if (AddOptions.Contains(AddDiskSpan) || AddOptions.Contains(AddDiskSpanErase)) {
        // Sets spread over removable disks are not written on this platform.
        if (AddOptions.Contains(AddFreshen) || AddOptions.Contains(AddUpdate)) {
            ShowZipMessage(10303, "");
            return;
        }
        std::string ext = zipFileName_.size() >= 4 ? zipFileName_.substr(zipFileName_.size() - 4) : "";
        for (char& c : ext)
            c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        if (ext == ".EXE") {
            ShowZipMessage(11041, "");
            return;
        }
    }
    if (addBusy_)
        return;
    ZipLibSlot& lib = ZipLibrary();
    const bool loadedHere = !lib.handle;
    if (loadedHere)
        LoadZipLibrary();
    if (!lib.handle)
        return;

    addBusy_ = true;
    Cancel = false;
    ZipCommandBuffers buffers;
    try {
        const int32_t version = reinterpret_cast<VersionFn>(lib.version)();
        BuildZipCommand(*this, version, buffers);
        runningRecord_ = buffers.record.data();
        SuccessCount = reinterpret_cast<ExecFn>(lib.exec)(buffers.record.data());
    } catch (...) {
        ShowZipMessage(10101, "");
    }
    runningRecord_ = nullptr;
    FSpecArgs.clear();
    FSpecArgsExcl.clear();
    buffers.texts.Clear();
    if (loadedHere)
        ReleaseZipLibrary();
    Cancel = false;
    addBusy_ = false;
    if (SuccessCount > 0)
        ReadDirectory();
}
