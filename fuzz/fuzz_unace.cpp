// ACE archives of any content, extracted for real into a scratch folder that is emptied after
// every run: headers, all decoding modes, member names and the temporary-file handling.
#include "AceDecoder.h"
#include "AceExtractor.h"
#include "FuzzScratch.h"

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

namespace {
const std::string& Dest()
{
    static std::string dir = MakeScratchDir("turnex-fuzz-ace") + "/game";
    return dir;
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    namespace fs = std::filesystem;
    std::error_code ec;
    fs::create_directory(Dest(), ec);
    // Archives that declare more output than this are legal, but only make the runs slow.
    ace::AceArchive archive;
    archive.Open(std::span<const uint8_t>(data, size));
    uint64_t declared = 0;
    for (const auto& m : archive.Members())
        declared += std::min<uint64_t>(m.origSize, uint64_t {1} << 40);
    if (declared > (uint64_t {64} << 20))
        return 0;
    // One decoder for all runs: a fresh 4 MiB window per run would cost more than the decoding.
    static ace::AceDecoder decoder;
    std::vector<ace::LeftOut> leftOut;
    ace::ExtractArchive(std::span<const uint8_t>(data, size), Dest(), {}, &decoder, &leftOut);
    // Nothing may appear beside the destination, and no temporary file ("name.turnex-part"; members
    // of such names are refused) stay in it.
    for (auto& e : fs::directory_iterator(fs::path(Dest()).parent_path()))
        if (e.path() != fs::path(Dest()))
            std::abort();
    const std::string part = ".turnex-part";
    std::error_code walk;
    for (auto it = fs::recursive_directory_iterator(Dest(), walk); !walk && it != fs::end(it); it.increment(walk)) {
        const std::string name = it->path().filename().string();
        if (name.size() >= part.size() && name.compare(name.size() - part.size(), part.size(), part) == 0)
            std::abort();
    }
    fs::remove_all(Dest(), ec);
    return 0;
}
