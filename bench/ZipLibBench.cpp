// Whole processes on both sides: the program's way of packing a battle (the zip component and
// libziplib.so, level 9, in archive_driver) against Info-ZIP zip -9, and of unpacking a zip archive
// (the component and libunzlib.so) against unzip -o and bsdtar -xf, interleaved, medians and spread.
// The battle files are made up like save games: text records of units with their numbers, a map of
// terrain letters and an order log, so they compress as real ones do (about 4 to 1 at level 9).
#include "Measure.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <fcntl.h>
#include <random>
#include <string>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

std::string BattleText(size_t size, unsigned seed)
{
    static const char* kinds[] = {"Infantry", "Armour", "Artillery", "Cavalry", "Engineer", "Recon", "Supply"};
    static const char* orders[] = {"move", "attack", "dig in", "resupply", "retreat", "hold", "bombard"};
    std::mt19937 rng(seed);
    std::string out;
    out.reserve(size + 256);
    int unit = 0, turn = 1;
    while (out.size() < size) {
        switch (rng() % 3) {
        case 0:
            out += "[Unit" + std::to_string(++unit) + "]\r\nType=" + kinds[rng() % 7] +
                   "\r\nStrength=" + std::to_string(rng() % 16) + "\r\nHex=" + std::to_string(rng() % 120) + "," +
                   std::to_string(rng() % 80) + "\r\nMoves=" + std::to_string(rng() % 9) +
                   "\r\nSupply=" + std::to_string(rng() % 100) + "\r\n";
            break;
        case 1: {
            std::string row = "Map=";
            char terrain = "..ffhhrrw~"[rng() % 10];
            for (int i = 0; i < 60; ++i) {
                if (rng() % 5 == 0)
                    terrain = "..ffhhrrw~"[rng() % 10];
                row += terrain;
            }
            out += row + "\r\n";
            break;
        }
        default:
            out += "Turn " + std::to_string(turn) + ": unit " + std::to_string(rng() % (unit + 1)) + " " +
                   orders[rng() % 7] + " to " + std::to_string(rng() % 120) + "," + std::to_string(rng() % 80) + "\r\n";
            if (rng() % 40 == 0)
                ++turn;
        }
    }
    out.resize(size);
    return out;
}

void WriteFile(const fs::path& path, const std::string& text) { std::ofstream(path, std::ios::binary) << text; }

std::string ReadFile(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

bool Have(const char* tool) { return std::system(("command -v " + std::string(tool) + " >/dev/null").c_str()) == 0; }

std::string SizeLabel(size_t bytes)
{
    return bytes >= 1000000 ? std::to_string(bytes / 1000000) + " MB" : std::to_string(bytes / 1000) + " KB";
}

}  // namespace

int main()
{
    const std::string driver = ARCHIVE_DRIVER;
    if (!Have("zip") || !Have("unzip") || !Have("bsdtar")) {
        std::printf("zip, unzip or bsdtar not installed: no peers to compare with\n");
        return 1;
    }
    const fs::path work = fs::temp_directory_path() / ("turnex-bench-zip-" + std::to_string(getpid()));
    fs::create_directories(work / "src");
    int failures = 0;

    std::printf("Packing at level 9, whole processes (archive_driver pack against zip -q -9 -X)\n");
    for (size_t size : {size_t {200000}, size_t {1000000}, size_t {10000000}, size_t {50000000}}) {
        const std::string name = "battle" + std::to_string(size) + ".bte";
        const fs::path file = work / "src" / name;
        WriteFile(file, BattleText(size, 7));
        const fs::path ours = work / "ours.zip", theirs = work / "theirs.zip";
        const int runs = size >= 10000000 ? 5 : 15;
        bool ok = true;
        const auto [a, b] = bench::Interleaved(
            [&] {
                fs::remove(ours);
                ok &= bench::RunProcess({driver, "pack", ours.string(), file.string()}).exitCode == 0;
            },
            [&] {
                fs::remove(theirs);
                ok &= bench::RunProcess({"zip", "-q", "-9", "-X", theirs.string(), name}, (work / "src").string())
                          .exitCode == 0;
            },
            runs);
        const auto oursSize = fs::file_size(ours), theirsSize = fs::file_size(theirs);
        fs::create_directories(work / "check");
        const bool same =
            ok &&
            bench::RunProcess({"unzip", "-q", "-o", ours.string(), "-d", (work / "check").string()}).exitCode == 0 &&
            ReadFile(work / "check" / name) == ReadFile(file);
        fs::remove_all(work / "check");
        if (!same)
            ++failures;
        const double ratio = a.Median() / b.Median();
        std::printf("  %-7s ours %s, %llu B   zip -9 %s, %llu B   %s\n", SizeLabel(size).c_str(),
                    bench::Figure(a).c_str(), static_cast<unsigned long long>(oursSize), bench::Figure(b).c_str(),
                    static_cast<unsigned long long>(theirsSize), same ? "unzip reads it back" : "ROUND TRIP FAILED");
        bench::Row("Zip pack " + SizeLabel(size) + " at level 9, whole process",
                   bench::Figure(a) + ", " + std::to_string(oursSize) + " B",
                   bench::Figure(b) + ", " + std::to_string(theirsSize) + " B (zip -9)", ratio,
                   "<= 0.9x, size <= zip -9", same && ratio <= 0.9 && oursSize <= theirsSize);
    }

    std::printf("Unpacking, whole processes (archive_driver unpack against unzip -o and bsdtar -xf)\n");
    for (size_t size : {size_t {1000000}, size_t {50000000}}) {
        const std::string name = "battle" + std::to_string(size) + ".bte";
        const fs::path archive = work / ("unpack" + std::to_string(size) + ".zip");
        bench::RunProcess({"zip", "-q", "-9", "-X", archive.string(), name}, (work / "src").string());
        const fs::path ours = work / "x-ours", peer = work / "x-peer";
        fs::create_directories(ours);
        fs::create_directories(peer);
        const int runs = size >= 10000000 ? 9 : 21;
        bool ok = true;
        auto runOurs = [&] {
            ok &= bench::RunProcess({driver, "unpack", archive.string(), ours.string()}).exitCode == 0;
        };
        const auto [a, u] = bench::Interleaved(
            runOurs,
            [&] {
                bench::RunProcess({"unzip", "-q", "-o", archive.string(), "-d", peer.string()});
            },
            runs);
        const auto [a2, t] = bench::Interleaved(
            runOurs,
            [&] {
                bench::RunProcess({"bsdtar", "-xf", archive.string(), "-C", peer.string()});
            },
            runs);
        // The peers leave their files in the page cache; every member of ours is on the disk
        // before it takes its name. The same peer followed by the flush ours makes is the floor
        // for a safe extraction.
        const bool small = size < 10000000;
        const char* peerTool = small ? "unzip -o" : "bsdtar -xf";
        const auto [a3, f] = bench::Interleaved(
            runOurs,
            [&] {
                if (small)
                    bench::RunProcess({"unzip", "-q", "-o", archive.string(), "-d", peer.string()});
                else
                    bench::RunProcess({"bsdtar", "-xf", archive.string(), "-C", peer.string()});
                bench::FlushFolder(peer);
            },
            runs);
        const bool same = ok && ReadFile(ours / name) == ReadFile(work / "src" / name);
        if (!same)
            ++failures;
        std::printf("  %-7s ours %s / %s   unzip -o %s   bsdtar -xf %s   %s\n", SizeLabel(size).c_str(),
                    bench::Figure(a).c_str(), bench::Figure(a2).c_str(), bench::Figure(u).c_str(),
                    bench::Figure(t).c_str(), same ? "identical" : "DIFFERENT");
        std::printf("  %-7s ours %s   %s, then the same flush %s\n", SizeLabel(size).c_str(), bench::Figure(a3).c_str(),
                    peerTool, bench::Figure(f).c_str());
        const double goal = small ? 1.0 : 1.05;
        char goalText[32];
        std::snprintf(goalText, sizeof goalText, "<= %.2fx", goal);
        bench::Row("Zip unpack " + SizeLabel(size) + ", whole process, peer flushing as ours does", bench::Figure(a3),
                   bench::Figure(f) + " (" + peerTool + ", then flushed)", a3.Median() / f.Median(), goalText,
                   same && a3.Median() <= goal * f.Median());
        // The floor of the plain rows: the peer, then the flush ours makes, over the peer alone.
        char floorText[64];
        std::snprintf(floorText, sizeof floorText, " (flush floor %.2fx)", f.Median() / (small ? u : t).Median());
        if (small)
            bench::Row("Zip unpack 1 MB, whole process", bench::Figure(a), bench::Figure(u) + " (unzip -o)",
                       a.Median() / u.Median(), std::string("<= 1.0x unzip") + floorText,
                       same && a.Median() <= u.Median());
        else
            bench::Row("Zip unpack 50 MB, whole process", bench::Figure(a2), bench::Figure(t) + " (bsdtar -xf)",
                       a2.Median() / t.Median(), std::string("<= 1.05x bsdtar") + floorText,
                       same && a2.Median() <= 1.05 * t.Median());
        fs::remove_all(ours);
        fs::remove_all(peer);
    }
    fs::remove_all(work);
    return failures == 0 ? 0 : 1;
}
