// Packing a 1 MB and a 50 MB battle file at level 9 through the zip component and library,
// and unpacking them, against Info-ZIP zip -9 and unzip -o in the same run.
// Goal: at most 1.15x their time, archives at most 1% larger.
#include "archive/ZipComponent.h"
#include "support/ScriptedDesktop.h"
#include "support/TempDir.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>

namespace {

using Clock = std::chrono::steady_clock;

template <class F>
double BestMs(int runs, F&& f)
{
    double best = 1e300;
    for (int i = 0; i < runs; ++i) {
        auto start = Clock::now();
        f();
        best = std::min(best, std::chrono::duration<double, std::milli>(Clock::now() - start).count());
    }
    return best;
}

// Text-like content: words and numbers, as battle files are, compressible but not trivially.
std::string Content(size_t size)
{
    static const char* words[] = {"unit",  "hex",    "turn",     "attack",    "move",  "supply", "north",
                                  "river", "armour", "infantry", "artillery", "ridge", "forest", "town"};
    std::mt19937 rng(42);
    std::string out;
    out.reserve(size + 64);
    while (out.size() < size) {
        out += words[rng() % 14];
        out += ' ';
        out += std::to_string(rng() % 100000);
        out += (rng() % 8 == 0) ? "\r\n" : " ";
    }
    out.resize(size);
    return out;
}

}  // namespace

int main()
{
    if (std::system("command -v zip >/dev/null && command -v unzip >/dev/null") != 0) {
        std::printf("Info-ZIP zip/unzip not installed: no peers to compare with\n");
        return 0;
    }
    ScriptedDesktop desktop;
    TempDir tmp;
    ZipComponent zip;
    zip.SetDLLDirectory(ZIP_LIB_DIR);
    zip.AddOptions = {AddUpdate};
    zip.ExtrOptions = {ExtrOverWrite};

    for (size_t mb : {1, 50}) {
        const std::string name = "battle" + std::to_string(mb) + ".bte";
        const std::string src = tmp / ("src/" + name);
        TempDir::Write(src, Content(mb * 1000 * 1000));
        const std::string ours = tmp / ("ours" + std::to_string(mb) + ".zip");
        const std::string theirs = tmp / ("theirs" + std::to_string(mb) + ".zip");
        const int runs = mb == 1 ? 9 : 3;

        const double packOurs = BestMs(runs, [&] {
            std::filesystem::remove(ours);
            zip.SetZipFileName(ours);
            zip.FSpecArgs.push_back(src);
            zip.Add();
        });
        const std::string zipCmd =
            "cd '" + tmp.path() + "/src' && rm -f '" + theirs + "' && zip -q -9 -X '" + theirs + "' " + name;
        const double packTheirs = BestMs(runs, [&] { (void)std::system(zipCmd.c_str()); });

        std::filesystem::create_directories(tmp / "x1");
        std::filesystem::create_directories(tmp / "x2");
        const double unpackOurs = BestMs(runs, [&] {
            zip.SetZipFileName(ours);
            zip.ExtrBaseDir = tmp / "x1";
            zip.Extract();
        });
        const std::string unzipCmd = "unzip -q -o '" + theirs + "' -d '" + tmp.path() + "/x2'";
        const double unpackTheirs = BestMs(runs, [&] { (void)std::system(unzipCmd.c_str()); });

        const double sizeOurs = static_cast<double>(std::filesystem::file_size(ours));
        const double sizeTheirs = static_cast<double>(std::filesystem::file_size(theirs));
        const bool same = TempDir::Read(tmp / ("x1/" + name)) == TempDir::Read(src);
        std::printf("%zu MB file (round trip %s)\n", mb, same ? "identical" : "DIFFERENT");
        std::printf("  pack   level 9  %9.1f ms   zip -9    %9.1f ms   ratio %.2f (goal <= 1.15)\n", packOurs,
                    packTheirs, packOurs / packTheirs);
        std::printf("  unpack          %9.1f ms   unzip -o  %9.1f ms   ratio %.2f (goal <= 1.15)\n", unpackOurs,
                    unpackTheirs, unpackOurs / unpackTheirs);
        std::printf("  archive size    %9.0f B    zip -9    %9.0f B    ratio %.4f (goal <= 1.01)\n", sizeOurs,
                    sizeTheirs, sizeOurs / sizeTheirs);
        std::printf("ROW\tpack %zu MB at level 9\t%.1f ms\t%.1f ms (zip -9)\t%.2f\t<= 1.15\n", mb, packOurs, packTheirs,
                    packOurs / packTheirs);
        std::printf("ROW\tunpack %zu MB%s\t%.1f ms\t%.1f ms (unzip -o)\t%.2f\t<= 1.15\n", mb,
                    same ? "" : " (round trip DIFFERENT)", unpackOurs, unpackTheirs, unpackOurs / unpackTheirs);
        std::printf("ROW\tarchive size, %zu MB at level 9\t%.0f B\t%.0f B (zip -9)\t%.4f\t<= 1.01\n", mb, sizeOurs,
                    sizeTheirs, sizeOurs / sizeTheirs);
    }
    return 0;
}
