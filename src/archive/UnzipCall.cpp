// Extract: hands the archive to the unzip library.
#include "UnzipCall.h"

#include "ZipComponent.h"
#include "turnex/ZipRecords.h"
#include "base/Files.h"
#include "base/Paths.h"

#include <unistd.h>

using namespace ziprec;

namespace {
constexpr int32_t Flag(bool b) { return b ? -1 : 0; }
}  // namespace

void BuildUnzipCommand(ZipComponent& zip, int32_t version, const std::string& archive, UnzipCommandBuffers& out)
{
    const bool longForm = version >= 152;
    out.record.assign(longForm ? kUnzipCommand.size : UnzipShortSize(kNativePtr), 0);
    Record<ucFieldCount> cmd(out.record.data(), kUnzipCommand);
    const ExtrOpts& o = zip.ExtrOptions;

    cmd.SetPtr(ucHandle, zip.Unattended ? nullptr : zip.Handle);
    cmd.SetPtr(ucCaller, &zip);
    cmd.SetU32(ucVersion, kComponentVersion);
    cmd.SetPtr(ucCallback, reinterpret_cast<const void*>(&ZipCallbackEntry));
    cmd.SetI32(ucTrace, Flag(zip.Trace));
    std::string password = zip.GetPassword();
    if (version < 160 && zip.Unattended && zip.AddOptions.Contains(AddEncrypt) && password.empty())
        password.assign(80, 'x');  // an old library stops to ask when it gets no password at all
    cmd.SetPtr(ucPassword, out.texts.Copy(password));
    cmd.SetI32(ucTest, Flag(o.Contains(ExtrTest)));
    cmd.SetI32(ucQuiet, -1);
    cmd.SetI32(ucVerbose, Flag(zip.Verbose || zip.Trace));
    const bool update = o.Contains(ExtrUpdate);
    cmd.SetI32(ucUpdate, Flag(update));
    cmd.SetI32(ucFreshen, Flag(o.Contains(ExtrFreshen) && !update));
    cmd.SetI32(ucDirNames, Flag(o.Contains(ExtrDirNames)));
    cmd.SetI32(ucOverwrite, Flag(o.Contains(ExtrOverWrite)));
    cmd.SetU32(ucSpecCount, static_cast<uint32_t>(zip.FSpecArgs.size()));
    cmd.SetPtr(ucArchive, out.texts.Copy(archive));

    if (!longForm) {
        PutU32(out.record.data() + UnzipShortMarker(kNativePtr), kEndMarker);
        for (size_t i = 0; i < zip.FSpecArgs.size() && i < kNameSlots; ++i)
            PutPtrAt(out.record.data() + UnzipShortSlots(kNativePtr) + i * kNativePtr,
                     out.texts.Copy(zip.FSpecArgs[i]));
        return;
    }
    out.items.assign(zip.FSpecArgs.size() * kUnzipFileSpec.size, 0);
    for (size_t i = 0; i < zip.FSpecArgs.size(); ++i)
        PutPtrAt(out.items.data() + i * kUnzipFileSpec.size, out.texts.Copy(zip.FSpecArgs[i]));
    cmd.SetPtr(ucSpecs, out.items.data());
    if (version >= 160)
        cmd.SetU32(ucPasswordReqCount, zip.GetPasswordReqCount());
    cmd.SetU32(ucEndMarker, kEndMarker);
}

void ZipComponent::Extract()
{
    SuccessCount = 0;
    SkippedMembers.clear();
    lastLibraryMessage_.clear();
    const uint32_t rememberedCount = passwordReqCount_;
    if (!base::FileExists(zipFileName_)) {
        ShowZipMessage(10102, "");
        return;
    }
    if (extractBusy_)
        return;
    const bool noPasswords = Unattended && password_.empty() && !OnPasswordError;
    if (noPasswords) {
        passwordReqCount_ = 0;
        ShowZipMessage(10502, "");
    }
    extractBusy_ = true;
    Cancel = false;
    ZipLibSlot& lib = UnzLibrary();
    const bool loadedHere = !lib.handle;
    if (loadedHere)
        LoadUnzipLibrary();
    if (!lib.handle) {
        passwordReqCount_ = rememberedCount;
        extractBusy_ = false;
        return;
    }
    // The archive name may be relative to the current directory, which is about to change.
    std::string archive = zipFileName_;
    if (!base::HasDriveLetter(archive) && !archive.empty() && archive[0] != '/' && archive[0] != '\\') {
        char cwd[4096];
        if (getcwd(cwd, sizeof cwd))
            archive = std::string(cwd) + "/" + archive;
    }
    if (!ExtrBaseDir.empty() && base::DirectoryExists(ExtrBaseDir)) {
        if (chdir(base::NativePath(ExtrBaseDir).c_str()) != 0) {
            // The library then extracts into the directory that stays current.
        }
    }
    UnzipCommandBuffers buffers;
    try {
        const int32_t version = reinterpret_cast<VersionFn>(lib.version)();
        BuildUnzipCommand(*this, version, archive, buffers);
        runningRecord_ = buffers.record.data();
        SuccessCount = reinterpret_cast<ExecFn>(lib.exec)(buffers.record.data());
    } catch (...) {
        ShowZipMessage(10501, "");
    }
    runningRecord_ = nullptr;
    FSpecArgs.clear();
    buffers.texts.Clear();
    if (noPasswords)
        passwordReqCount_ = rememberedCount;
    if (loadedHere)
        ReleaseUnzipLibrary();
    Cancel = false;
    extractBusy_ = false;
}
