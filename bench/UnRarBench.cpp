// Whole-archive extraction timings: this program extracting through libunrar.so, bsdtar -x and
// unar, each started as a process into a fresh folder, on the largest archives of the shared
// corpus and on generated stored archives of both layouts (64 MB each, no RAR writer needed).
// Goal: within 1.15x of bsdtar.
#include "archive/RarBytes.h"
#include "turnex/unrar.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>
#include <zlib.h>

extern char** environ;
namespace fs = std::filesystem;

namespace {

using Clock = std::chrono::steady_clock;

// The extraction the program does, in a child process like the peers.
int ExtractMode(const char* archive, const char* dest)
{
    RAROpenArchiveData open {};
    open.ArcName = const_cast<char*>(archive);
    open.OpenMode = RAR_OM_EXTRACT;
    void* h = RAROpenArchive(&open);
    if (!h)
        return 1;
    RARHeaderData header {};
    int r, failed = 0;
    while ((r = RARReadHeader(h, &header)) == ERAR_SUCCESS)
        failed |= RARProcessFile(h, RAR_EXTRACT, const_cast<char*>(dest), nullptr) != ERAR_SUCCESS;
    RARCloseArchive(h);
    return failed || r != ERAR_END_ARCHIVE;
}

// Runs argv with its output discarded; the exit status, or -1 when it could not start.
int Run(const std::vector<std::string>& args)
{
    std::vector<char*> argv;
    for (const auto& a : args)
        argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    pid_t pid;
    int rc = posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (rc != 0)
        return -1;
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

struct Timing {
    double ms = 0;
    bool ok = true;
};

// Median of runs, each into a fresh folder; {dest} in args is replaced by that folder.
Timing Time(const std::vector<std::string>& args, const fs::path& work, int runs)
{
    std::vector<double> times;
    Timing t;
    for (int i = 0; i < runs; ++i) {
        const fs::path dest = work / ("out" + std::to_string(i));
        fs::create_directories(dest);
        std::vector<std::string> a = args;
        for (auto& s : a)
            if (s == "{dest}")
                s = dest.string();
        auto start = Clock::now();
        int rc = Run(a);
        times.push_back(std::chrono::duration<double, std::milli>(Clock::now() - start).count());
        t.ok = t.ok && rc == 0;
        fs::remove_all(dest);
    }
    std::sort(times.begin(), times.end());
    t.ms = times[times.size() / 2];
    return t;
}

// ---- generated stored archives ----

using rarbytes::Crc;
using rarbytes::Put16;
using rarbytes::Put32;
using rarbytes::PutVint;

std::vector<std::pair<std::string, std::string>> Payload()
{
    std::vector<std::pair<std::string, std::string>> files;
    uint64_t x = 0x9E3779B97F4A7C15ull;
    for (int f = 0; f < 4; ++f) {
        std::string data(16 << 20, '\0');
        for (size_t i = 0; i + 8 <= data.size(); i += 8) {
            x ^= x << 13, x ^= x >> 7, x ^= x << 17;
            std::memcpy(&data[i], &x, 8);
        }
        files.emplace_back("battle" + std::to_string(f) + ".bte", std::move(data));
    }
    return files;
}

std::string Rar4(const std::vector<std::pair<std::string, std::string>>& files)
{
    auto block = [](const std::string& body) {
        std::string b;
        Put16(b, Crc(body) & 0xFFFF);
        return b + body;
    };
    std::string out("Rar!\x1A\x07\x00", 7);
    std::string main("\x73", 1);
    Put16(main, 0);
    Put16(main, 13);
    main.append(6, '\0');
    out += block(main);
    for (const auto& [name, data] : files) {
        std::string h("\x74", 1);
        Put16(h, 0x8000);
        Put16(h, 32 + name.size());
        Put32(h, data.size());
        Put32(h, data.size());
        h += '\x03';
        Put32(h, Crc(data));
        Put32(h, 0x5A210000);
        h += '\x14';
        h += '\x30';
        Put16(h, name.size());
        Put32(h, 0x81A4);
        out += block(h + name) + data;
    }
    std::string end("\x7B", 1);
    Put16(end, 0x4000);
    Put16(end, 7);
    return out + block(end);
}

std::string Rar5(const std::vector<std::pair<std::string, std::string>>& files)
{
    auto header = [](const std::string& body) {
        std::string sized;
        PutVint(sized, body.size());
        sized += body;
        std::string h;
        Put32(h, Crc(sized));
        return h + sized;
    };
    std::string out("Rar!\x1A\x07\x01\x00", 8);
    out += header(std::string("\x01\x00\x00", 3));
    for (const auto& [name, data] : files) {
        std::string h;
        PutVint(h, 2);
        PutVint(h, 0x02);
        PutVint(h, data.size());
        PutVint(h, 0x04);
        PutVint(h, data.size());
        PutVint(h, 0x81A4);
        Put32(h, Crc(data));
        PutVint(h, 0);
        PutVint(h, 1);
        PutVint(h, name.size());
        out += header(h + name) + data;
    }
    return out + header(std::string("\x05\x00\x00", 3));
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc == 4 && std::string(argv[1]) == "--extract")
        return ExtractMode(argv[2], argv[3]);

    const std::string self = fs::canonical("/proc/self/exe").string();
    char pattern[] = "/tmp/bench-unrar-XXXXXX";
    if (!mkdtemp(pattern))
        return 0;
    const fs::path work = pattern;

    std::vector<std::pair<std::string, int>> archives;  // path, runs
    const fs::path corpus = TURNEX_RAR_TESTDATA;
    if (fs::exists(corpus)) {
        for (const char* name :
             {"r2_audio_compression.rar", "r3_compressed_best.rar", "r5_comment_blake2.rar", "r5_compressed_multi.rar"})
            archives.emplace_back((corpus / name).string(), 21);
    } else {
        std::printf("shared RAR corpus not found at %s: generated archives only\n", corpus.c_str());
    }
    const auto payload = Payload();
    {
        std::ofstream(work / "stored4.rar", std::ios::binary) << Rar4(payload);
        std::ofstream(work / "stored5.rar", std::ios::binary) << Rar5(payload);
    }
    archives.emplace_back((work / "stored4.rar").string(), 7);
    archives.emplace_back((work / "stored5.rar").string(), 7);

    const bool haveBsdtar = Run({"bsdtar", "--version"}) == 0;
    const bool haveUnar = Run({"unar", "-v"}) >= 0;
    std::printf("%-28s %10s %10s %10s %12s %12s\n", "archive", "ours ms", "bsdtar ms", "unar ms", "ours/bsdtar",
                "ours/unar");
    for (const auto& [path, runs] : archives) {
        Timing ours = Time({self, "--extract", path, "{dest}"}, work, runs);
        Timing bsdtar = haveBsdtar ? Time({"bsdtar", "-x", "-f", path, "-C", "{dest}"}, work, runs) : Timing {0, false};
        Timing unar = haveUnar ? Time({"unar", "-q", "-f", "-o", "{dest}", path}, work, runs) : Timing {0, false};
        auto mark = [](const Timing& t) { return t.ok ? ' ' : '!'; };
        std::printf("%-28s %9.2f%c %9.2f%c %9.2f%c %12.2f %12.2f\n", fs::path(path).filename().c_str(), ours.ms,
                    mark(ours), bsdtar.ms, mark(bsdtar), unar.ms, mark(unar), bsdtar.ms > 0 ? ours.ms / bsdtar.ms : 0,
                    unar.ms > 0 ? ours.ms / unar.ms : 0);
        const std::string file = fs::path(path).filename().string();
        // A time is only compared when both tools succeeded.
        auto row = [&](const char* peer, const Timing& t, const char* goal) {
            char ratio[32] = "-";
            if (ours.ok && t.ok && t.ms > 0)
                std::snprintf(ratio, sizeof ratio, "%.2f", ours.ms / t.ms);
            std::printf("ROW\textract %s\t%.2f ms%s\t%.2f ms (%s)%s\t%s\t%s\n", file.c_str(), ours.ms,
                        ours.ok ? "" : " (failed)", t.ms, peer, t.ok ? "" : " (failed)", ratio, goal);
        };
        if (haveBsdtar)
            row("bsdtar", bsdtar, "<= 1.15");
        if (haveUnar)
            row("unar", unar, "-");
    }
    std::printf("(median of the runs, each into a fresh folder; ! = the tool reported a failure)\n");
    fs::remove_all(work);
    return 0;
}
