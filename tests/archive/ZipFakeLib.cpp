// A stand-in zip or unzip library of a chosen version (FAKE_ZIP / FAKE_UNZIP, FAKE_VERSION):
// it writes what it received, field by field, to the file named by $TURNEX_FAKE_DUMP, answers
// one message through the callback and returns the number of names it was given.
#include "turnex/ZipRecords.h"

#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>

using namespace ziprec;

namespace {

std::string Str(const char* p) { return p ? std::string(p) : std::string("(null)"); }

void Dump(const std::string& text)
{
    if (const char* file = std::getenv("TURNEX_FAKE_DUMP"))
        if (FILE* f = std::fopen(file, "w")) {
            std::fputs(text.c_str(), f);
            std::fclose(f);
        }
}

std::string Line(const std::string& key, const std::string& value) { return key + "=" + value + "\n"; }
std::string Line(const std::string& key, uint64_t value) { return Line(key, std::to_string(value)); }

}  // namespace

#define EXPORT extern "C" __attribute__((visibility("default")))

#ifdef FAKE_ZIP
EXPORT int32_t GetZipLibVersion() { return FAKE_VERSION; }

EXPORT int32_t ZipLibExec(uint8_t* raw)
{
    Record<zcFieldCount> cmd(raw, kZipCommand);
    const bool longForm = FAKE_VERSION >= 151;
    std::string d;
    const uint32_t count = cmd.U32(zcSpecCount);
    d += Line("marker", longForm ? cmd.U32(zcEndMarker) : GetU32(raw + ZipShortMarker(kNativePtr)));
    d += Line("handle", cmd.PtrV(zcHandle) ? 1 : 0);
    d += Line("version", cmd.U32(zcVersion));
    d += Line("trace", cmd.U32(zcTrace));
    d += Line("password", Str(cmd.Text(zcPassword)));
    d += Line("suffixes", Str(cmd.Text(zcSuffixes)));
    d += Line("encrypt", cmd.U32(zcEncrypt));
    d += Line("nodirentries", cmd.U32(zcNoDirEntries));
    d += Line("verbose", cmd.U32(zcVerbose));
    d += Line("quiet", cmd.U32(zcQuiet));
    d += Line("level", cmd.U32(zcLevel));
    d += Line("junk", cmd.U32(zcJunkDirs));
    d += Line("recurse", cmd.U16(zcRecurse));
    d += Line("always", cmd.U32(zcAlways));
    d += Line("move", cmd.U32(zcMove));
    d += Line("update", cmd.U32(zcUpdate));
    d += Line("freshen", cmd.U32(zcFreshen));
    d += Line("count", count);
    d += Line("archive", Str(cmd.Text(zcArchive)));
    if (longForm) {
        d += Line("tempdir", Str(cmd.Text(zcTempDir)));
        d += Line("comment", Str(cmd.Text(zcComment)));
        d += Line("archiveonly", cmd.U16(zcArchiveOnly));
        d += Line("exclcount", cmd.U32(zcExclCount));
        if (const uint8_t* ex = static_cast<const uint8_t*>(cmd.PtrV(zcExcl)))
            for (uint32_t i = 0; i < cmd.U32(zcExclCount); ++i)
                d += Line("excl" + std::to_string(i), Str(static_cast<const char*>(GetPtrAt(ex + i * kNativePtr))));
        const uint8_t* items = static_cast<const uint8_t*>(cmd.PtrV(zcSpecs));
        for (uint32_t i = 0; items && i < count; ++i) {
            Record<zsFieldCount> s(const_cast<uint8_t*>(items) + i * kZipFileSpec.size, kZipFileSpec);
            const std::string k = "file" + std::to_string(i);
            d += Line(k, Str(s.Text(zsSpec)));
            d += Line(k + ".password", Str(s.Text(zsPassword)));
            d += Line(k + ".encrypt", s.U32(zsEncrypt));
            d += Line(k + ".recurse", s.U16(zsRecurse));
            d += Line(k + ".root", Str(s.Text(zsRootDir)));
        }
    } else {
        for (uint32_t i = 0; i <= count && i < kNameSlots; ++i)
            d += Line("slot" + std::to_string(i),
                      Str(static_cast<const char*>(GetPtrAt(raw + ZipShortSlots(kNativePtr) + i * kNativePtr))));
    }
    Dump(d);
    LibraryCallback(reinterpret_cast<CallbackFn>(cmd.PtrV(zcCallback)), cmd.PtrV(zcCaller), nullptr)
        .Message("fake zip library " + std::to_string(FAKE_VERSION), 0x1234);
    return static_cast<int32_t>(count);
}
#endif

#ifdef FAKE_UNZIP
EXPORT int32_t GetUnzLibVersion() { return FAKE_VERSION; }

EXPORT int32_t UnzLibExec(uint8_t* raw)
{
    Record<ucFieldCount> cmd(raw, kUnzipCommand);
    const bool longForm = FAKE_VERSION >= 152;
    std::string d;
    const uint32_t count = cmd.U32(ucSpecCount);
    d += Line("marker", longForm ? cmd.U32(ucEndMarker) : GetU32(raw + UnzipShortMarker(kNativePtr)));
    d += Line("version", cmd.U32(ucVersion));
    d += Line("password", Str(cmd.Text(ucPassword)));
    d += Line("test", cmd.U32(ucTest));
    d += Line("quiet", cmd.U32(ucQuiet));
    d += Line("update", cmd.U32(ucUpdate));
    d += Line("freshen", cmd.U32(ucFreshen));
    d += Line("dirnames", cmd.U32(ucDirNames));
    d += Line("overwrite", cmd.U32(ucOverwrite));
    d += Line("count", count);
    d += Line("archive", Str(cmd.Text(ucArchive)));
    if (longForm) {
        d += Line("reqcount", cmd.U32(ucPasswordReqCount));
        const uint8_t* items = static_cast<const uint8_t*>(cmd.PtrV(ucSpecs));
        for (uint32_t i = 0; items && i < count; ++i)
            d += Line("file" + std::to_string(i),
                      Str(static_cast<const char*>(GetPtrAt(items + i * kUnzipFileSpec.size))));
    } else {
        for (uint32_t i = 0; i <= count && i < kNameSlots; ++i)
            d += Line("slot" + std::to_string(i),
                      Str(static_cast<const char*>(GetPtrAt(raw + UnzipShortSlots(kNativePtr) + i * kNativePtr))));
    }
    char cwd[4096];
    d += Line("cwd", getcwd(cwd, sizeof cwd) ? cwd : "");
    Dump(d);
    return static_cast<int32_t>(count);
}
#endif
