// ACE decoding speed in MB/s of output: the whole corpus, its LZ77 members and its largest
// archives decoded in memory, then a whole extraction to files beside Debian's unace on the
// archives both can decode.
#include "AceArchive.h"
#include "AceDecoder.h"
#include "AceExtractor.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

std::vector<uint8_t> ReadBytes(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

// Decodes the members chosen by `want` in memory; the output bytes, or 0 when anything failed.
uint64_t Decode(const std::vector<uint8_t>& bytes, const std::function<bool(const ace::Member&)>& want)
{
    ace::AceArchive archive;
    if (archive.Open(bytes) != ace::Status::Ok || archive.CheckExtractable() != ace::Status::Ok)
        return 0;
    ace::AceDecoder decoder;
    uint64_t out = 0;
    for (const auto& m : archive.Members()) {
        if (!archive.IsSolid())
            decoder.Reset();
        if (m.IsDirectory())
            continue;
        // In a solid archive the members not measured still have to pass through the window.
        if (!want(m) && !archive.IsSolid())
            continue;
        uint64_t n = 0;
        auto s = decoder.DecodeMember(m, archive.PackedData(m), [&](const uint8_t*, size_t k) {
            n += k;
            return true;
        });
        if (s != ace::Status::Ok)
            return 0;
        if (want(m))
            out += n;
    }
    return out;
}

// The best time of repeated runs (at least `reps`, and at least 0.3 s in all).
template <class F>
double BestSeconds(F&& run, int reps = 5)
{
    double best = 1e9, total = 0;
    for (int i = 0; i < reps || (total < 0.3 && i < 1000); ++i) {
        auto t0 = Clock::now();
        run();
        double s = std::chrono::duration<double>(Clock::now() - t0).count();
        best = std::min(best, s);
        total += s;
    }
    return best;
}

double MBps(uint64_t bytes, double seconds) { return static_cast<double>(bytes) / 1e6 / seconds; }

std::string FindProgram(const std::string& name)
{
    const char* path = std::getenv("PATH");
    std::string dirs = path ? path : "/usr/bin:/bin";
    size_t pos = 0;
    while (pos <= dirs.size()) {
        size_t end = dirs.find(':', pos);
        if (end == std::string::npos)
            end = dirs.size();
        fs::path candidate = fs::path(dirs.substr(pos, end - pos)) / name;
        if (access(candidate.c_str(), X_OK) == 0)
            return candidate.string();
        pos = end + 1;
    }
    return {};
}

// Runs "unace x -y archive" inside dir, output discarded; true when it exited with 0.
bool RunPeer(const std::string& program, const fs::path& archive, const fs::path& dir)
{
    pid_t pid = fork();
    if (pid == 0) {
        if (chdir(dir.c_str()) != 0)
            _exit(127);
        std::FILE* null = std::fopen("/dev/null", "r+");
        if (null) {
            dup2(fileno(null), 0);
            dup2(fileno(null), 1);
            dup2(fileno(null), 2);
        }
        execl(program.c_str(), program.c_str(), "x", "-y", archive.c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

uint64_t TreeBytes(const fs::path& dir)
{
    uint64_t n = 0;
    for (auto& e : fs::recursive_directory_iterator(dir))
        if (e.is_regular_file())
            n += e.file_size();
    return n;
}

}  // namespace

int main()
{
    const fs::path corpus = ACE_TESTDATA_DIR;
    if (!fs::exists(corpus / "MANIFEST.tsv")) {
        std::printf("bench_unace: shared ACE test data not found (../shared/testdata/ace); nothing measured\n");
        return 0;
    }
    std::vector<fs::path> archives;
    for (auto& e : fs::recursive_directory_iterator(corpus)) {
        std::string ext = e.path().extension().string();
        std::transform(ext.begin(), ext.end(), ext.begin(), ::tolower);
        if (e.is_regular_file() && ext == ".ace")
            archives.push_back(e.path());
    }
    std::sort(archives.begin(), archives.end());

    std::printf("ACE decoding in memory (MB/s of output, best of repeated runs)\n");
    auto all = [](const ace::Member&) { return true; };
    std::vector<std::vector<uint8_t>> loaded;
    for (const auto& a : archives)
        loaded.push_back(ReadBytes(a));
    // Archives by the version needed to extract them: 10 holds LZ77 members, 20 blocked ones.
    auto version = [](const std::vector<uint8_t>& b) {
        ace::AceArchive archive;
        archive.Open(b);
        return static_cast<int>(archive.VersionToExtract());
    };
    auto measure = [&](const char* label, int onlyVersion) {
        std::vector<const std::vector<uint8_t>*> set;
        uint64_t out = 0;
        for (const auto& b : loaded)
            if (onlyVersion == 0 || version(b) == onlyVersion) {
                uint64_t n = Decode(b, all);
                if (n > 0) {
                    set.push_back(&b);
                    out += n;
                }
            }
        double sec = BestSeconds([&] {
            for (const auto* b : set)
                Decode(*b, all);
        });
        std::printf("  %-34s %9.1f MB/s  (%zu archives, %.2f MB out)\n", label, MBps(out, sec), set.size(),
                    static_cast<double>(out) / 1e6);
        if (onlyVersion == 10)  // the LZ77 goal has no peer: the peer cannot decode in memory
            std::printf("ROW\tdecode ACE 1.0 (LZ77) archives in memory\t%.1f MB/s\t-\t-\t>= 100 MB/s\n",
                        MBps(out, sec));
    };
    measure("whole corpus", 0);
    measure("ACE 1.0 archives (LZ77)", 10);
    measure("ACE 2.0 archives (blocked)", 20);
    for (const char* name : {"testarchive.ace", "Ace.store.largefile.ace", "ace_doubledot.ace"}) {
        auto bytes = ReadBytes(corpus / name);
        uint64_t n = Decode(bytes, all);
        if (n == 0) {
            std::printf("  %-34s does not decode\n", name);
            continue;
        }
        double s = BestSeconds([&] { Decode(bytes, all); });
        std::printf("  %-34s %9.1f MB/s  (%.2f MB out)\n", name, MBps(n, s), static_cast<double>(n) / 1e6);
    }

    std::printf("\nExtraction to files against Debian's unace (its time includes starting the program)\n");
    const std::string peer = FindProgram("unace");
    if (peer.empty()) {
        std::printf("  unace not installed (package unace); no comparison\n");
        return 0;
    }
    const fs::path work = fs::temp_directory_path() / ("turnex-bench-ace-" + std::to_string(getpid()));
    int compared = 0;
    for (size_t i = 0; i < archives.size(); ++i) {
        const fs::path ours = work / "ours", theirs = work / "peer";
        fs::remove_all(work);
        fs::create_directories(ours);
        fs::create_directories(theirs);
        if (ace::ExtractArchive(loaded[i], ours.string()) != ace::Status::Ok)
            continue;
        const uint64_t out = TreeBytes(ours);
        // The peer decodes only some ACE 1.0 archives; compare where it produced the same bytes.
        if (!RunPeer(peer, archives[i], theirs) || out == 0 || TreeBytes(theirs) != out)
            continue;
        double oursSec = BestSeconds([&] { ace::ExtractArchive(loaded[i], ours.string()); }, 20);
        double peerSec = BestSeconds([&] { RunPeer(peer, archives[i], theirs); }, 20);
        std::printf("  %-26s turnex %8.1f MB/s   unace %8.1f MB/s   ratio %.1fx  (%.2f MB out)\n",
                    fs::relative(archives[i], corpus).c_str(), MBps(out, oursSec), MBps(out, peerSec),
                    peerSec / oursSec, static_cast<double>(out) / 1e6);
        std::printf("ROW\textract %s to files\t%.1f MB/s\t%.1f MB/s (unace)\tspeed-up %.1fx\t>= 3x\n",
                    fs::relative(archives[i], corpus).c_str(), MBps(out, oursSec), MBps(out, peerSec),
                    peerSec / oursSec);
        ++compared;
    }
    fs::remove_all(work);
    if (compared == 0)
        std::printf("  no archive of the corpus is decoded by both\n");
    return 0;
}
