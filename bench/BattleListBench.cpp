// Filling the "Battles" list as players have it: the game folder is a drive letter ("d:\game")
// mapped through a Wine prefix's dosdevices link. The peer is a plain C loop that lists the same real
// folder, opens each battle and reads up to its sixth line end. Both run in this process, interleaved;
// the window's whole fill is timed, list widget included.
#include "app/Catalogue.h"
#include "base/ProgramDir.h"
#include "Measure.h"
#include "support/ConfigFile.h"
#include "support/ScriptedDesktop.h"
#include "support/TempDir.h"
#include "ui/Application.h"
#include "ui/ListBox.h"
#include "ui/MainWindow.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>

namespace {

// The baseline: list the folder, open each *.bte and read up to the sixth line end.
size_t PlainLoop(const char* dir)
{
    size_t lines = 0;
    DIR* d = opendir(dir);
    if (!d)
        return 0;
    char path[4096];
    char buf[4096];
    while (dirent* e = readdir(d)) {
        const size_t len = std::strlen(e->d_name);
        if (len < 4 || strcasecmp(e->d_name + len - 4, ".bte") != 0)
            continue;
        std::snprintf(path, sizeof path, "%s/%s", dir, e->d_name);
        const int fd = open(path, O_RDONLY);
        if (fd < 0)
            continue;
        int found = 0;
        ssize_t n;
        while (found < 6 && (n = read(fd, buf, sizeof buf)) > 0)
            for (ssize_t i = 0; i < n && found < 6; ++i)
                found += buf[i] == '\r';
        close(fd);
        lines += static_cast<size_t>(found);
    }
    closedir(d);
    return lines;
}

// About 2 KB of battle data after the header lines, different in each file.
std::string BattleData(int seed)
{
    std::string data;
    data.reserve(2100);
    unsigned x = static_cast<unsigned>(seed) * 2654435761u + 1;
    while (data.size() < 2048) {
        x = x * 1103515245u + 12345u;
        data += std::to_string(x % 100000) + (x % 7 == 0 ? "\r\n" : " ");
    }
    return data;
}

}  // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    TempDir tmp;
    // The prefix maps d: to the folder that holds the game folder, as a player's Wine prefix does.
    const std::string drive = tmp / "drive";
    const std::string prefix = tmp / "prefix";
    TempDir::Write(prefix + "/dosdevices/keep", "");
    if (symlink(drive.c_str(), (prefix + "/dosdevices/d:").c_str()) != 0) {
        std::perror("symlink");
        return 2;
    }
    setenv("WINEPREFIX", prefix.c_str(), 1);
    base::SetProgramDirectory(tmp.path());

    Application app(argc, argv);
    ScriptedDesktop desktop;
    const std::string game = drive + "/game";
    int written = 0;
    int status = 0;
    for (int count : {10000, 100000}) {
        for (; written < count; ++written)
            TempDir::Write(game + "/turn" + std::to_string(written) + ".bte",
                           BattleText(written % 2 ? "1 0" : "0 1", "Battle number " + std::to_string(written),
                                      std::to_string(written % 90) + " 60", "fog 3") +
                               BattleData(written));
        WriteConfig(tmp.path(), "d:\\game", tmp / "out", tmp / "in");
        MainWindow window;
        window.show();
        const int runs = count <= 10000 ? 15 : 7;
        size_t lines = 0;
        const auto [fill, plain] =
            bench::Interleaved([&] { window.FillBattleList(); }, [&] { lines = PlainLoop(game.c_str()); }, runs);
        if (window.catalogueList->count() != count || lines != static_cast<size_t>(count) * 6) {
            std::fprintf(stderr, "battle list: %d entries and %zu lines for %d battles\n",
                         window.catalogueList->count(), lines, count);
            status = 1;
            continue;
        }
        // Where the fill's time goes: reading the titles alone, without the list widget.
        std::vector<std::string> names, titles;
        const auto [collect, plainAgain] = bench::Interleaved(
            [&] {
                names.clear();
                titles.clear();
                app::CollectBattles("d:\\game", names, titles);
            },
            [&] { PlainLoop(game.c_str()); }, runs);
        std::printf("%d battles: titles read in %s, the C loop in %s, the whole fill in %s\n", count,
                    bench::Figure(collect).c_str(), bench::Figure(plainAgain).c_str(), bench::Figure(fill).c_str());
        const double ratio = fill.Median() / plain.Median();
        char operation[160];
        std::snprintf(operation, sizeof operation, "Battle list through a Wine drive-letter game folder, %d battles",
                      count);
        bench::Row(operation, bench::Figure(fill), bench::Figure(plain) + " (C loop: open + 6 lines)", ratio, "<= 1.3x",
                   ratio <= 1.3);
    }
    return status;
}
