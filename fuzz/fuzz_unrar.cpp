// Any bytes as a RAR archive: open (with the comment), walk every header, extract every member
// into a scratch folder (every other archive in test mode), asking why each refused member was
// refused. Nothing may crash, nothing may land outside the scratch folder, and no temporary file
// may stay in it once the archive is closed.
#include "FuzzScratch.h"
#include "turnex/unrar.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

struct Scratch {
    Scratch()
    {
        root = MakeScratchDir("turnex-fuzz-unrar");
        archive = root / "input.rar";
        dest = root / "dest";
    }
    ~Scratch() { fs::remove_all(root); }
    fs::path root, archive, dest;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static Scratch scratch;
    static unsigned round = 0;
    if (FILE* f = std::fopen(scratch.archive.c_str(), "wb")) {
        std::fwrite(data, 1, size, f);
        std::fclose(f);
    }
    fs::remove_all(scratch.dest);
    fs::create_directories(scratch.dest);

    char comment[64];
    std::string arcName = scratch.archive.string();
    std::string dest = scratch.dest.string();
    RAROpenArchiveData open {};
    open.ArcName = arcName.data();
    open.OpenMode = RAR_OM_EXTRACT;
    open.CmtBuf = comment;
    open.CmtBufSize = sizeof comment;
    void* h = RAROpenArchive(&open);
    if (!h)
        return 0;
    if (open.CmtState == 1 && open.CmtSize > sizeof comment)
        std::abort();
    const int operation = (++round & 1) ? RAR_EXTRACT : RAR_TEST;
    RARHeaderData header {};
    // A small field: the texts are cut, never written past it.
    char name[16], reason[16];
    for (int i = 0; i < 4096 && RARReadHeader(h, &header) == ERAR_SUCCESS; ++i)
        if (RARProcessFile(h, operation, dest.data(), nullptr) != ERAR_SUCCESS &&
            RARGetLastRefusal(h, name, sizeof name, reason, sizeof reason) > 0 &&
            (std::strlen(name) >= sizeof name || std::strlen(reason) >= sizeof reason))
            std::abort();
    RARCloseArchive(h);
    // Only the archive and the destination may exist in the scratch folder.
    for (const auto& e : fs::directory_iterator(scratch.root))
        if (e.path() != scratch.archive && e.path() != scratch.dest)
            std::abort();
    std::error_code error;
    for (auto it = fs::recursive_directory_iterator(scratch.dest, error); !error && it != fs::end(it);
         it.increment(error))
        if (!fs::is_directory(it->symlink_status()) && it->path().filename().string().ends_with(".turnex-part"))
            std::abort();
    return 0;
}
