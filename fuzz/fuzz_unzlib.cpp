// Any file contents as an archive for the unzip library: no crash, no hang, nothing written
// outside the extraction folder, no temporary file left behind.
#include "FuzzScratch.h"
#include "turnex/ZipRecords.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sys/stat.h>
#include <dirent.h>
#include <string>
#include <unistd.h>
#include <vector>

extern "C" int32_t UnzLibExec(uint8_t* record);

using namespace ziprec;

namespace {

const std::string& Root()
{
    static std::string root = MakeScratchDir("turnex-fuzz-unz");
    return root;
}

int32_t Answer(uint8_t* record)
{
    // Asked for a password, give one wrong one; asked to overwrite, say yes.
    Record<cbFieldCount> rec(record, kCallback);
    if (rec.I32v(cbAction) == acPassword) {
        std::memcpy(rec.At(cbText), "guess", 6);
        rec.SetI32(cbErrorCode, 1);
    }
    if (rec.I32v(cbAction) == acOverwrite)
        rec.SetI32(cbSize, 1);
    return 0;
}

void RemoveTree(const std::string& path)
{
    if (DIR* d = opendir(path.c_str())) {
        while (dirent* e = readdir(d)) {
            std::string name = e->d_name;
            if (name == "." || name == "..")
                continue;
            std::string full = path + "/" + name;
            if (unlink(full.c_str()) != 0)
                RemoveTree(full);
        }
        closedir(d);
    }
    rmdir(path.c_str());
}

size_t CountOutside()
{
    size_t n = 0;
    if (DIR* d = opendir(Root().c_str())) {
        while (readdir(d))
            ++n;
        closedir(d);
    }
    return n;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string archive = Root() + "/a.zip";
    const std::string dest = Root() + "/dest";
    if (FILE* f = std::fopen(archive.c_str(), "wb")) {
        std::fwrite(data, 1, size, f);
        std::fclose(f);
    }
    mkdir(dest.c_str(), 0777);
    const size_t before = CountOutside();

    std::vector<uint8_t> rec(kUnzipCommand.size, 0);
    Record<ucFieldCount> cmd(rec.data(), kUnzipCommand);
    std::string password = "";
    cmd.SetPtr(ucCallback, reinterpret_cast<const void*>(&Answer));
    cmd.SetPtr(ucArchive, archive.c_str());
    cmd.SetPtr(ucPassword, password.c_str());
    cmd.SetI32(ucOverwrite, -1);
    cmd.SetI32(ucDirNames, size % 2 ? -1 : 0);
    cmd.SetU32(ucPasswordReqCount, 2);
    cmd.SetU32(ucEndMarker, kEndMarker);

    char cwd[4096];
    if (!getcwd(cwd, sizeof cwd) || chdir(dest.c_str()) != 0)
        return 0;
    UnzLibExec(rec.data());
    if (chdir(cwd) != 0)
        std::abort();
    if (CountOutside() != before)
        std::abort();  // something landed beside the destination
    // No temporary file may stay behind ("name.turnex-part"; members of such names are refused).
    const std::string part = ".turnex-part";
    if (DIR* d = opendir(dest.c_str())) {
        while (dirent* e = readdir(d)) {
            const std::string name = e->d_name;
            if (name.size() >= part.size() && name.compare(name.size() - part.size(), part.size(), part) == 0)
                std::abort();
        }
        closedir(d);
    }
    RemoveTree(dest);
    return 0;
}
