// Any bytes as a RAR archive: open (with the comment), walk every header, extract every member
// into a scratch folder (every other archive in test mode). Nothing may crash, and nothing may
// land outside the scratch folder.
#include "FuzzScratch.h"
#include "turnex/unrar.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
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
    for (int i = 0; i < 4096 && RARReadHeader(h, &header) == ERAR_SUCCESS; ++i)
        RARProcessFile(h, operation, dest.data(), nullptr);
    RARCloseArchive(h);
    // Only the archive and the destination may exist in the scratch folder.
    for (const auto& e : fs::directory_iterator(scratch.root))
        if (e.path() != scratch.archive && e.path() != scratch.dest)
            std::abort();
    return 0;
}
