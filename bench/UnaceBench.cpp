// ACE decoding speed in MB/s of output: the whole corpus, its LZ77 members and its largest
// archives decoded in memory, then a whole extraction to files beside Debian's unace on the
// archives both can decode, and ALCHT.ACE like with like, with what each part of our time costs.
#include "AceArchive.h"
#include "AceDecoder.h"
#include "AceExtractor.h"
#include "Measure.h"
#include "turnex/unace.h"

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <dlfcn.h>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

// Time spent inside the flushes of the library while it runs in this process. The benchmark exports
// these names, so the library's calls bind to them first; each passes the call on unchanged.
namespace {
double FlushSeconds = 0;

int TimedFlush(const char* name, int fd)
{
    using Flush = int (*)(int);
    const auto real = reinterpret_cast<Flush>(dlsym(RTLD_NEXT, name));
    const auto t0 = Clock::now();
    const int result = real ? real(fd) : -1;
    FlushSeconds += std::chrono::duration<double>(Clock::now() - t0).count();
    return result;
}
}  // namespace

extern "C" {
__attribute__((visibility("default"))) int syncfs(int fd) { return TimedFlush("syncfs", fd); }
__attribute__((visibility("default"))) int fsync(int fd) { return TimedFlush("fsync", fd); }
__attribute__((visibility("default"))) int fdatasync(int fd) { return TimedFlush("fdatasync", fd); }
}

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

// Times of repeated runs (at least `reps`, and at least 0.3 s in all), after one untimed run.
template <class F>
bench::Sample Times(F&& run, int reps = 11)
{
    run();
    bench::Sample times;
    double total = 0;
    for (int i = 0; i < reps || (total < 0.3 && i < 1000); ++i) {
        times.values.push_back(bench::Seconds(run));
        total += times.values.back();
    }
    return times;
}

double MBps(uint64_t bytes, double seconds) { return static_cast<double>(bytes) / 1e6 / seconds; }

// A speed as the median of repeated runs, with the spread of their times.
std::string SpeedFigure(uint64_t bytes, const bench::Sample& times)
{
    char figure[64];
    std::snprintf(figure, sizeof figure, "%.1f MB/s ±%.0f%%", MBps(bytes, times.Median()), times.Spread() * 100);
    return figure;
}

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

// The library exactly as the program calls it: ACEInitDll, ACEReadArchiveData and ACEExtract with
// the same records, into a folder on the disk.
class AceLibraryCalls {
public:
    explicit AceLibraryCalls(const std::string& path)
    {
        handle_ = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
        if (!handle_)
            return;
        init_ = reinterpret_cast<unace::AceInitDllFn>(dlsym(handle_, "ACEInitDll"));
        read_ = reinterpret_cast<unace::AceReadArchiveDataFn>(dlsym(handle_, "ACEReadArchiveData"));
        extract_ = reinterpret_cast<unace::AceExtractFn>(dlsym(handle_, "ACEExtract"));
    }
    ~AceLibraryCalls()
    {
        if (handle_)
            dlclose(handle_);
    }
    bool Loaded() const { return init_ && read_ && extract_; }

    bool Extract(const std::string& archive, const std::string& dest)
    {
        using namespace unace;
        static char comment[8192];
        static const char empty[] = "";
        static const char list[256] = {};
        std::array<uint8_t, kAceInitRecord.size> initRecord {};
        PutRecordNumber(initRecord.data(), kAceInitRecord.fixedValue1, kAceInitValue1);
        PutRecordNumber(initRecord.data(), kAceInitRecord.fixedValue2, kAceInitValue2);
        PutRecordAddress(initRecord.data(), kAceInitRecord.commentBuffer, comment);
        PutRecordNumber(initRecord.data(), kAceInitRecord.commentBufferSize, static_cast<int32_t>(sizeof comment));
        PutRecordAddress(initRecord.data(), kAceInitRecord.tempDir, "C:\\TEMP");
        init_(initRecord.data());
        std::array<uint8_t, kAceArchiveDataRecord.size> data {};
        read_(archive.c_str(), data.data());
        if (!GetRecordAddress(data.data(), kAceArchiveDataRecord.archiveInfo))
            return false;
        std::array<uint8_t, kAceExtractRecord.size> record {};
        PutRecordAddress(record.data(), kAceExtractRecord.baseDir, empty);
        PutRecordAddress(record.data(), kAceExtractRecord.fileList, list);
        PutRecordAddress(record.data(), kAceExtractRecord.excludeList, empty);
        PutRecordNumber(record.data(), kAceExtractRecord.options, 0);
        PutRecordAddress(record.data(), kAceExtractRecord.destinationDir, dest.c_str());
        PutRecordNumber(record.data(), kAceExtractRecord.flags, -1);
        PutRecordAddress(record.data(), kAceExtractRecord.extraText, empty);
        return extract_(archive.c_str(), record.data()) == kAceOk;
    }

private:
    void* handle_ = nullptr;
    unace::AceInitDllFn init_ = nullptr;
    unace::AceReadArchiveDataFn read_ = nullptr;
    unace::AceExtractFn extract_ = nullptr;
};

// ALCHT.ACE unpacked like with like. Whole processes: archive_driver (the program's ACE front end
// and libunacev2.so) against "unace x". The decoder alone: the library's exported calls in this
// process, to files, against unace's whole process less its start, taken as "unace l" of the same
// archive (start, opening and reading the headers; no decoding, no writing).
void CompareAlcht(const fs::path& corpus, const std::string& peer)
{
    const fs::path archive = corpus / "ALCHT.ACE";
    const fs::path work = fs::temp_directory_path() / ("turnex-bench-alcht-" + std::to_string(getpid()));
    const fs::path ours = work / "ours", theirs = work / "peer";
    fs::create_directories(ours);
    fs::create_directories(theirs);
    std::printf("\nALCHT.ACE, like with like\n");

    bool ok = true;
    const auto [a, b] = bench::Interleaved(
        [&] {
            ok &= bench::RunProcess({ARCHIVE_DRIVER, "ace", archive.string(), ours.string()}).exitCode == 0;
        },
        [&] {
            bench::RunProcess({peer, "x", "-y", archive.string()}, theirs.string());
        },
        41);
    const bool same = ok && TreeBytes(ours) == TreeBytes(theirs) && TreeBytes(ours) > 0;

    // The floor for a safe extraction: the peer, then the flush ours makes.
    const auto [a2, f] = bench::Interleaved(
        [&] {
            bench::RunProcess({ARCHIVE_DRIVER, "ace", archive.string(), ours.string()});
        },
        [&] {
            bench::RunProcess({peer, "x", "-y", archive.string()}, theirs.string());
            bench::FlushFolder(theirs);
        },
        41);

    // Where the whole process's time goes, and what no extraction of ours can go below. Interleaved:
    // the driver as above; the driver with its flushes made no-ops and unace x, both started through
    // env; the driver without arguments (our process starting and ending with nothing to do: the C++
    // runtime and ICU); the same tree written by a plain program, with the flushes ours makes and
    // without them.
    double floorSeconds = 0;  // our process start plus the flushes, with decoding and writing free
    {
        int next = 0;
        auto fresh = [&] {
            const fs::path dir = work / ("floor" + std::to_string(next++));
            fs::create_directories(dir);
            return dir.string();
        };
        const std::string noFlush = std::string("LD_PRELOAD=") + NOFLUSH_PRELOAD;
        size_t files = 0;
        std::error_code ec;
        for (const auto& entry : fs::recursive_directory_iterator(ours, ec))
            files += entry.is_regular_file() && !entry.is_symlink() ? 1 : 0;
        // The plain program flushes as ours does: a few files each on its own, many with one flush.
        const std::string flushAsOurs = files <= bench::kFlushedOneByOne ? "--flush-each-file" : "--flush-fs";
        bench::Sample whole, peerWhole, unflushed, peerEnv, idle, synced, unsynced;
        const std::vector<std::function<void()>> order = {
            [&] {
                whole.values.push_back(bench::RunProcess({ARCHIVE_DRIVER, "ace", archive.string(), fresh()}).seconds);
            },
            [&] {
                peerWhole.values.push_back(bench::RunProcess({peer, "x", "-y", archive.string()}, fresh()).seconds);
            },
            [&] {
                unflushed.values.push_back(
                    bench::RunProcess({"env", noFlush, ARCHIVE_DRIVER, "ace", archive.string(), fresh()}).seconds);
            },
            [&] {
                peerEnv.values.push_back(
                    bench::RunProcess({"env", "LD_PRELOAD=", peer, "x", "-y", archive.string()}, fresh()).seconds);
            },
            [&] { idle.values.push_back(bench::RunProcess({ARCHIVE_DRIVER}).seconds); },
            [&] {
                synced.values.push_back(
                    bench::RunProcess({SYNCED_WRITE_FLOOR, flushAsOurs, ours.string(), fresh()}).seconds);
            },
            [&] {
                unsynced.values.push_back(
                    bench::RunProcess({SYNCED_WRITE_FLOOR, "--no-flush", ours.string(), fresh()}).seconds);
            }};
        for (int i = 0; i < 42; ++i)  // the first round warms up and is not counted
            for (size_t k = 0; k < order.size(); ++k)
                order[i % 2 ? order.size() - 1 - k : k]();
        for (auto* sample : {&whole, &peerWhole, &unflushed, &peerEnv, &idle, &synced, &unsynced})
            sample->values.erase(sample->values.begin());
        const double flushCost = synced.Median() - unsynced.Median();
        std::printf("  where the time goes: archive_driver %s, with its flushes made no-ops %s, without arguments %s\n"
                    "                       unace x %s (through env %s)\n"
                    "                       the same tree written by a plain program %s, without the flushes %s\n",
                    bench::Figure(whole).c_str(), bench::Figure(unflushed).c_str(), bench::Figure(idle).c_str(),
                    bench::Figure(peerWhole).c_str(), bench::Figure(peerEnv).c_str(), bench::Figure(synced).c_str(),
                    bench::Figure(unsynced).c_str());
        std::printf("  the flushes cost %.2f ms; without them ours over unace x (both through env) %.2fx;\n"
                    "  floor (our process start + the flushes, with decoding and writing free) over unace x %.2fx\n",
                    flushCost * 1e3, unflushed.Median() / peerEnv.Median(),
                    (idle.Median() + flushCost) / peerWhole.Median());
        for (int k = 0; k < next; ++k)
            fs::remove_all(work / ("floor" + std::to_string(k)));
        floorSeconds = idle.Median() + flushCost;
    }
    auto goal = [&](double floorRatio) {
        char text[64];
        std::snprintf(text, sizeof text, "<= 0.5x (2x faster; floor %.2fx)", floorRatio);
        return std::string(text);
    };
    bench::Row("ACE extraction of ALCHT.ACE, both sides whole processes", bench::Figure(a),
               bench::Figure(b) + " (unace x)", a.Median() / b.Median(), goal(floorSeconds / b.Median()),
               same && a.Median() * 2 <= b.Median());
    bench::Row("ACE extraction of ALCHT.ACE, whole processes, peer flushing as ours does", bench::Figure(a2),
               bench::Figure(f) + " (unace x, then flushed)", a2.Median() / f.Median(), goal(floorSeconds / f.Median()),
               same && a2.Median() * 2 <= f.Median());

    // Loading the library, as the program does before every extraction.
    bench::Sample load;
    for (int i = 0; i < 41; ++i)
        load.values.push_back(bench::Seconds([] {
            if (void* h = dlopen(UNACE_LIBRARY, RTLD_NOW | RTLD_LOCAL))
                dlclose(h);
        }));
    std::printf("  loading libunacev2.so (dlopen and dlclose): %s\n", bench::Figure(load).c_str());

    AceLibraryCalls library(UNACE_LIBRARY);
    if (!library.Loaded()) {
        std::printf("  libunacev2.so could not be loaded; no in-process comparison\n");
        fs::remove_all(work);
        return;
    }
    bench::Sample calls, callsFlushing, extract, flushed, start;
    bool callsOk = true;
    std::vector<std::function<void()>> steps = {
        [&] {
            FlushSeconds = 0;
            calls.values.push_back(
                bench::Seconds([&] { callsOk &= library.Extract(archive.string(), ours.string()); }));
            callsFlushing.values.push_back(FlushSeconds);
        },
        [&] {
            extract.values.push_back(bench::RunProcess({peer, "x", "-y", archive.string()}, theirs.string()).seconds);
        },
        [&] {
            flushed.values.push_back(bench::RunProcess({peer, "x", "-y", archive.string()}, theirs.string()).seconds +
                                     bench::Seconds([&] { bench::FlushFolder(theirs); }));
        },
        [&] {
            start.values.push_back(bench::RunProcess({peer, "l", archive.string()}, theirs.string()).seconds);
        }};
    for (int i = 0; i < 41; ++i)  // each step first in turn
        for (size_t k = 0; k < steps.size(); ++k)
            steps[(k + static_cast<size_t>(i)) % steps.size()]();
    std::printf("  in process: exported calls %s (of which inside the flushes %s)   unace x %s (then flushed %s),"
                " unace l %s\n",
                bench::Figure(calls).c_str(), bench::Figure(callsFlushing).c_str(), bench::Figure(extract).c_str(),
                bench::Figure(flushed).c_str(), bench::Figure(start).c_str());
    bench::Sample callsUnflushed;
    for (size_t i = 0; i < calls.values.size(); ++i)
        callsUnflushed.values.push_back(calls.values[i] - callsFlushing.values[i]);
    if (const double peerDecode = extract.Median() - start.Median(); peerDecode > 0)
        std::printf("  exported calls less the time inside their flushes %s: %.2fx of unace x less unace l\n",
                    bench::Figure(callsUnflushed).c_str(), callsUnflushed.Median() / peerDecode);
    for (const bool withFlush : {false, true}) {
        const bench::Sample& peerSample = withFlush ? flushed : extract;
        const double peerDecode = peerSample.Median() - start.Median();
        char peerFigure[128];
        std::snprintf(peerFigure, sizeof peerFigure, "%.3f ms (unace x%s %.2f ms less unace l %.2f ms)",
                      peerDecode * 1e3, withFlush ? ", flushed," : "", peerSample.Median() * 1e3, start.Median() * 1e3);
        const double ratio = peerDecode > 0 ? calls.Median() / peerDecode : 0;
        // No extraction of ours can take less than its own flushes.
        char goal[64];
        std::snprintf(goal, sizeof goal, "<= 0.33x (3x faster; floor %.2fx)",
                      peerDecode > 0 ? callsFlushing.Median() / peerDecode : 0);
        bench::Row(std::string("ACE extraction of ALCHT.ACE, decoder alone (exported calls to files)") +
                       (withFlush ? ", peer flushing as ours does" : ""),
                   bench::Figure(calls), peerFigure, ratio, goal,
                   callsOk && peerDecode > 0 && calls.Median() * 3 <= peerDecode);
    }
    fs::remove_all(work);
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

    std::printf("ACE decoding in memory (MB/s of output, median of repeated runs ±spread of their times)\n");
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
        const bench::Sample times = Times([&] {
            for (const auto* b : set)
                Decode(*b, all);
        });
        std::printf("  %-34s %16s  (%zu archives, %.2f MB out)\n", label, SpeedFigure(out, times).c_str(), set.size(),
                    static_cast<double>(out) / 1e6);
        if (onlyVersion == 10)  // the LZ77 goal has no peer: the peer cannot decode in memory
            bench::Row("decode ACE 1.0 (LZ77) archives in memory", SpeedFigure(out, times), "-", 0, ">= 100 MB/s",
                       MBps(out, times.Median()) >= 100);
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
        const bench::Sample times = Times([&] { Decode(bytes, all); });
        std::printf("  %-34s %16s  (%.2f MB out)\n", name, SpeedFigure(n, times).c_str(), static_cast<double>(n) / 1e6);
    }

    std::printf("\nExtraction to files against Debian's unace, for information only: our decoder on bytes in memory,\n"
                "the peer a whole process (the like-with-like rows follow)\n");
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
        const auto [oursTimes, peerTimes] = bench::Interleaved([&] { ace::ExtractArchive(loaded[i], ours.string()); },
                                                               [&] { RunPeer(peer, archives[i], theirs); }, 21);
        const double oursSec = oursTimes.Median(), peerSec = peerTimes.Median();
        std::printf("  %-26s turnex %8.1f MB/s   unace %8.1f MB/s   ratio %.1fx  (%.2f MB out)\n",
                    fs::relative(archives[i], corpus).c_str(), MBps(out, oursSec), MBps(out, peerSec),
                    peerSec / oursSec, static_cast<double>(out) / 1e6);
        ++compared;
    }
    fs::remove_all(work);
    if (compared == 0)
        std::printf("  no archive of the corpus is decoded by both\n");
    CompareAlcht(corpus, peer);
    return 0;
}
