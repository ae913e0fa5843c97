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
    ace::ExtractArchive(std::span<const uint8_t>(data, size), Dest(), {}, &decoder);
    // Nothing may appear beside the destination.
    for (auto& e : fs::directory_iterator(fs::path(Dest()).parent_path()))
        if (e.path() != fs::path(Dest()))
            std::abort();
    fs::remove_all(Dest(), ec);
    return 0;
}
