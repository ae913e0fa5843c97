// Reading the central directory of a 65,535-entry archive with the zip component, against
// libzip opening the same archive and stat-ing every entry. Goal: at most 2x libzip's time.
#include "Measure.h"
#include "archive/ZipComponent.h"
#include "support/ScriptedDesktop.h"
#include "support/TempDir.h"
#include "../tests/archive/ZipTestSupport.h"

#include <zip.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

template <class F>
double MedianMs(int runs, F&& f)
{
    std::vector<double> t;
    for (int i = 0; i < runs; ++i) {
        auto start = Clock::now();
        f();
        t.push_back(std::chrono::duration<double, std::milli>(Clock::now() - start).count());
    }
    std::sort(t.begin(), t.end());
    return t[t.size() / 2];
}

}  // namespace

int main()
{
    ScriptedDesktop desktop;
    TempDir tmp;
    std::vector<ziptest::Member> members;
    members.reserve(65535);
    char name[32];
    for (int i = 0; i < 65535; ++i) {
        std::snprintf(name, sizeof name, "battles/turn%05d.bte", i);
        members.emplace_back(name, "");
    }
    const std::string archive = tmp / "big.zip";
    TempDir::Write(archive, ziptest::BuildZip(members));

    ZipComponent zip;
    int32_t count = 0;
    const double ours = MedianMs(9, [&] {
        zip.SetZipFileName(archive);
        count = zip.Count();
    });
    zip_int64_t theirs_count = 0;
    const double theirs = MedianMs(9, [&] {
        int err = 0;
        zip_t* za = zip_open(archive.c_str(), ZIP_RDONLY, &err);
        if (!za)
            return;
        theirs_count = zip_get_num_entries(za, 0);
        zip_stat_t st;
        for (zip_int64_t i = 0; i < theirs_count; ++i)
            zip_stat_index(za, static_cast<zip_uint64_t>(i), 0, &st);
        zip_discard(za);
    });
    std::printf("zip directory of 65535 entries (%d read, %lld by libzip)\n", count,
                static_cast<long long>(theirs_count));
    std::printf("  ReadDirectory        %8.2f ms\n", ours);
    std::printf("  libzip open + stat   %8.2f ms\n", theirs);
    std::printf("  ratio                %8.2f (goal <= 2.00)\n", ours / theirs);
    char oursFigure[32], peerFigure[64];
    std::snprintf(oursFigure, sizeof oursFigure, "%.2f ms", ours);
    std::snprintf(peerFigure, sizeof peerFigure, "%.2f ms (libzip open + stat)", theirs);
    bench::Row("read the directory of 65,535 entries", oursFigure, peerFigure, ours / theirs, "<= 2x",
               count == theirs_count && ours <= 2 * theirs);
    return 0;
}
