// RAR extraction, whole process against whole process: unrar_extract_driver (libunrar.so bound as
// the program binds it, the program's calls) against `bsdtar -xf`, each into a fresh folder, on every
// archive of the shared corpus that bsdtar extracts correctly by its MANIFEST.tsv. Runs alternate
// between the two, and between them runs synced_write_floor: the same tree written and flushed
// with and without the flushes, whose difference is the floor that flushing every extracted file
// before it takes its name puts under our side: bsdtar flushes nothing.
#include "Measure.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <sstream>
#include <string>
#include <system_error>
#include <vector>

namespace fs = std::filesystem;

namespace {

constexpr int kRuns = 31;
constexpr double kGoal = 1.05;

struct ManifestRow {
    std::string member, size, sha256, notes;
};

// archive -> its member rows, in the manifest's order.
std::map<std::string, std::vector<ManifestRow>> ReadManifest(const fs::path& file)
{
    std::map<std::string, std::vector<ManifestRow>> archives;
    std::ifstream in(file);
    std::string line;
    std::getline(in, line);  // column names
    while (std::getline(in, line)) {
        std::vector<std::string> f;
        std::stringstream fields(line);
        for (std::string s; std::getline(fields, s, '\t');)
            f.push_back(s);
        if (f.size() < 5)
            continue;
        auto& rows = archives[f[0]];
        if (f[1].empty() || f[1][0] != '(')
            rows.push_back({f[1], f[2], f[3], f[4]});
    }
    return archives;
}

std::string Sha256Of(const fs::path& file)
{
    const std::string command = "sha256sum -b '" + file.string() + "' 2>/dev/null";
    std::string out;
    if (FILE* p = popen(command.c_str(), "r")) {
        char buf[128];
        while (std::fgets(buf, sizeof buf, p))
            out += buf;
        pclose(p);
    }
    return out.substr(0, 64);
}

// Whether tree holds the archive as its manifest says: every file with its SHA-256, every link a
// link, every folder a folder. An archive with a member the manifest says must not be written
// (a damaged one) is never extracted correctly.
bool MatchesManifest(const fs::path& tree, const std::vector<ManifestRow>& rows)
{
    if (rows.empty())
        return false;
    std::error_code ec;
    for (const auto& row : rows) {
        const fs::path path = tree / fs::u8path(row.member);
        if (row.notes.rfind("symlink", 0) == 0) {
            if (!fs::is_symlink(fs::symlink_status(path, ec)))
                return false;
        } else if (row.notes.rfind("dir", 0) == 0) {
            if (!fs::is_directory(fs::symlink_status(path, ec)))
                return false;
        } else if (row.sha256 == "-" || !fs::is_regular_file(fs::symlink_status(path, ec)) ||
                   Sha256Of(path) != row.sha256) {
            return false;
        }
    }
    return true;
}

class Folders {
public:
    explicit Folders(fs::path work) : work_(std::move(work)) {}
    fs::path Fresh()
    {
        fs::path dir = work_ / ("out" + std::to_string(next_++));
        fs::create_directories(dir);
        return dir;
    }

private:
    fs::path work_;
    int next_ = 0;
};

}  // namespace

int main()
{
    const fs::path binDir = fs::canonical("/proc/self/exe").parent_path();
    const std::string driver = (binDir / "unrar_extract_driver").string();
    const std::string floorWriter = (binDir / "synced_write_floor").string();
    const std::string noFlush = "LD_PRELOAD=" + (binDir / "libunrar_noflush_preload.so").string();
    const fs::path corpus = TURNEX_RAR_TESTDATA;
    if (!fs::exists(corpus / "MANIFEST.tsv")) {
        std::printf("shared RAR corpus not found at %s\n", corpus.c_str());
        return 1;
    }
    if (bench::RunProcess({"bsdtar", "--version"}).exitCode != 0) {
        std::printf("bsdtar is not installed\n");
        return 1;
    }
    char pattern[] = "/tmp/bench-unrar-XXXXXX";
    if (!mkdtemp(pattern))
        return 1;
    const fs::path work = pattern;
    Folders folders(work);

    const auto manifest = ReadManifest(corpus / "MANIFEST.tsv");
    int measured = 0;
    std::printf("%-26s %-18s %-18s %11s %11s %7s %7s %10s\n", "archive", "ours", "bsdtar", "flush cost", "each file",
                "ratio", "floor", "unflushed");
    for (const auto& [name, rows] : manifest) {
        const std::string archive = (corpus / name).string();
        // The peer's output, checked once; it is also the tree the floor writes.
        const fs::path reference = folders.Fresh();
        if (bench::RunProcess({"bsdtar", "-xf", archive, "-C", reference.string()}).exitCode != 0 ||
            !MatchesManifest(reference, rows)) {
            std::printf("%-26s skipped: bsdtar does not extract it correctly\n", name.c_str());
            continue;
        }
        const fs::path check = folders.Fresh();
        const bool oursCorrect =
            bench::RunProcess({driver, archive, check.string()}).exitCode == 0 && MatchesManifest(check, rows);

        bench::Sample ours, peer, synced, unsynced, eachFile, oursUnflushed, peerEnv;
        auto run = [&](bench::Sample& into, std::vector<std::string> argv) {
            argv.push_back(folders.Fresh().string());
            into.values.push_back(bench::RunProcess(argv).seconds);
        };
        auto runOurs = [&] { run(ours, {driver, archive}); };
        auto runPeer = [&] { run(peer, {"bsdtar", "-xf", archive, "-C"}); };
        auto runSynced = [&] { run(synced, {floorWriter, reference.string()}); };
        auto runUnsynced = [&] { run(unsynced, {floorWriter, "--no-flush", reference.string()}); };
        auto runEachFile = [&] { run(eachFile, {floorWriter, "--flush-each-file", reference.string()}); };
        // env runs in both: our driver without its flushes, and bsdtar with an empty preload, alike.
        auto runOursUnflushed = [&] { run(oursUnflushed, {"env", noFlush, driver, archive}); };
        auto runPeerThroughEnv = [&] { run(peerEnv, {"env", "LD_PRELOAD=", "bsdtar", "-xf", archive, "-C"}); };
        auto all = [&](bool reversed) {
            const std::vector<std::function<void()>> order {
                runOurs, runPeer, runSynced, runUnsynced, runEachFile, runOursUnflushed, runPeerThroughEnv};
            if (reversed)
                for (auto it = order.rbegin(); it != order.rend(); ++it)
                    (*it)();
            else
                for (const auto& f : order)
                    f();
        };
        all(false);  // warm-up, not counted
        for (auto* s : {&ours, &peer, &synced, &unsynced, &eachFile, &oursUnflushed, &peerEnv})
            s->values.clear();
        for (int i = 0; i < kRuns; ++i)
            all(i % 2 == 1);
        // bsdtar does not flush: with the flushes our extraction makes, it could not be faster than
        // its own time plus what those flushes cost the plain writer.
        const double flushCost = synced.Median() - unsynced.Median();
        const double eachFileCost = eachFile.Median() - unsynced.Median();
        const double ratio = ours.Median() / peer.Median();
        const double unflushedRatio = oursUnflushed.Median() / peerEnv.Median();
        // The floor flushes as ours does: a few files one by one, many with one flush of the file system.
        size_t files = 0;
        std::error_code ec;
        for (const auto& entry : fs::recursive_directory_iterator(reference, ec))
            files += entry.is_regular_file() && !entry.is_symlink() ? 1 : 0;
        const double ourFlushCost = files <= bench::kFlushedOneByOne ? eachFileCost : flushCost;
        const double floorRatio = (peer.Median() + ourFlushCost) / peer.Median();
        std::printf("%-26s %-18s %-18s %8.2f ms %8.2f ms %6.2fx %6.2fx %9.2fx%s\n", name.c_str(),
                    bench::Figure(ours).c_str(), bench::Figure(peer).c_str(), flushCost * 1e3, eachFileCost * 1e3,
                    ratio, floorRatio, unflushedRatio, oursCorrect ? "" : "  ours NOT CORRECT");
        char goal[64];
        std::snprintf(goal, sizeof goal, "<= %.2fx (flush floor %.2fx)", kGoal, floorRatio);
        bench::Row("RAR extract " + name + ", whole process",
                   oursCorrect ? bench::Figure(ours) : bench::Figure(ours) + " (wrong output)",
                   bench::Figure(peer) + " (bsdtar)", ratio, goal, oursCorrect && ratio <= kGoal);
        ++measured;
        fs::remove_all(work, ec);
        fs::create_directories(work, ec);
    }
    std::printf("(%d runs each, interleaved; median ±interquartile range/median; flush cost: the same tree "
                "written with and without the flushes; each file: the same with each file flushed instead of the "
                "file system; floor: bsdtar plus the flush as ours does it (each file on its own up to 16 files, else "
                "the file system), over bsdtar; unflushed: our driver with its flushes "
                "made no-ops, over bsdtar, both started through env)\n",
                kRuns);
    std::error_code ec;
    fs::remove_all(work, ec);
    return measured > 0 ? 0 : 1;
}
