#pragma once
// Honest comparisons: turnex and its peer run interleaved (A B A B ...), so that a warm cache or a
// busy neighbour hits both alike; each side reports its median and spread, and the ratio is taken of
// the medians measured in the same run. Whole processes are started with fork and exec and timed from
// the fork to the reaped exit, with their peak memory.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <fcntl.h>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace bench {

struct Sample {
    std::vector<double> values;  // seconds (or bytes)

    double Median() const
    {
        if (values.empty())
            return 0;
        std::vector<double> v = values;
        std::sort(v.begin(), v.end());
        const size_t n = v.size();
        return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
    }
    // The middle half's width relative to the median (interquartile range / median).
    double Spread() const
    {
        if (values.size() < 2)
            return 0;
        std::vector<double> v = values;
        std::sort(v.begin(), v.end());
        const double q1 = v[v.size() / 4];
        const double q3 = v[(v.size() * 3) / 4 == v.size() ? v.size() - 1 : (v.size() * 3) / 4];
        const double m = Median();
        return m > 0 ? (q3 - q1) / m : 0;
    }
};

inline double Seconds(const std::function<void()>& f)
{
    const auto t0 = std::chrono::steady_clock::now();
    f();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
}

// Runs both sides `runs` times, alternating which goes first, after one untimed warm-up each.
inline std::pair<Sample, Sample> Interleaved(const std::function<void()>& ours, const std::function<void()>& peer,
                                             int runs)
{
    ours();
    peer();
    Sample a, b;
    for (int i = 0; i < runs; ++i) {
        if (i % 2 == 0) {
            a.values.push_back(Seconds(ours));
            b.values.push_back(Seconds(peer));
        } else {
            b.values.push_back(Seconds(peer));
            a.values.push_back(Seconds(ours));
        }
    }
    return {a, b};
}

struct ProcessResult {
    int exitCode = -1;
    double seconds = 0;
    long peakKilobytes = 0;  // maximum resident set size
};

// Runs argv[0] with its arguments in dir (stdout and stderr to /dev/null unless quiet is false).
inline ProcessResult RunProcess(const std::vector<std::string>& argv, const std::string& dir = ".", bool quiet = true)
{
    ProcessResult result;
    std::fflush(nullptr);  // else the child writes what the parent had buffered a second time
    const auto t0 = std::chrono::steady_clock::now();
    const pid_t pid = fork();
    if (pid == 0) {
        if (chdir(dir.c_str()) != 0)
            _exit(126);
        if (quiet && !freopen("/dev/null", "w", stdout))
            _exit(126);
        if (quiet && !freopen("/dev/null", "w", stderr))
            _exit(126);
        std::vector<char*> args;
        for (const auto& a : argv)
            args.push_back(const_cast<char*>(a.c_str()));
        args.push_back(nullptr);
        execvp(args[0], args.data());
        _exit(127);
    }
    int status = 0;
    rusage usage {};
    if (pid > 0 && wait4(pid, &status, 0, &usage) == pid) {
        result.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
        result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        result.peakKilobytes = usage.ru_maxrss;
    }
    return result;
}

// Up to this many files, an extraction of ours flushes each file on its own; past it, the file
// system once.
inline constexpr size_t kFlushedOneByOne = 16;

// The flush every extraction of ours makes before its files take their names, made as ours makes
// it: a few files each on its own, many with one flush of the file system; then every folder that
// holds them. Timed after a peer's process, it gives the peer the same safety without the price
// of another process start.
inline void FlushFolder(const std::string& dir)
{
    namespace fs = std::filesystem;
    std::vector<fs::path> files, folders {dir};
    std::error_code ec;
    for (const auto& entry : fs::recursive_directory_iterator(dir, ec)) {
        if (entry.is_symlink(ec))
            continue;
        if (entry.is_directory(ec))
            folders.push_back(entry.path());
        else if (entry.is_regular_file(ec))
            files.push_back(entry.path());
    }
    auto flush = [](const fs::path& path, int flags) {
        const int fd = open(path.c_str(), flags | O_CLOEXEC);
        if (fd >= 0) {
            fsync(fd);
            close(fd);
        }
    };
    if (files.size() <= kFlushedOneByOne) {
        for (const auto& file : files)
            flush(file, O_RDONLY);
    } else if (const int fd = open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC); fd >= 0) {
        syncfs(fd);
        close(fd);
    }
    for (const auto& folder : folders)
        flush(folder, O_RDONLY | O_DIRECTORY);
}

inline std::string Figure(const Sample& s, const char* unit = "ms", double scale = 1e3)
{
    char buf[96];
    std::snprintf(buf, sizeof buf, "%.2f %s ±%.0f%%", s.Median() * scale, unit, s.Spread() * 100);
    return buf;
}

// One line for the table of scripts/bench:
//   ROW<TAB>operation<TAB>turnex<TAB>peer<TAB>ratio<TAB>goal<TAB>met|NOT MET
// ratio is turnex's median over the peer's (lower is better) unless the goal says "speed-up".
inline bool Row(const std::string& operation, const std::string& ours, const std::string& peer, double ratio,
                const std::string& goal, bool met)
{
    char ratioText[32] = "-";  // a row without a peer has no ratio
    if (ratio > 0)
        std::snprintf(ratioText, sizeof ratioText, "%.2fx", ratio);
    std::printf("ROW\t%s\t%s\t%s\t%s\t%s\t%s\n", operation.c_str(), ours.c_str(), peer.c_str(), ratioText, goal.c_str(),
                met ? "met" : "NOT MET");
    std::fflush(stdout);
    return met;
}

}  // namespace bench
