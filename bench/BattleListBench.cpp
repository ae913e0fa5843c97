// Filling the "Battles" list against a plain loop that only opens each battle file and reads its
// first six lines. The fill should cost at most 1.5 times the loop.
#include "ui/Application.h"
#include "ui/MainWindow.h"
#include "base/ProgramDir.h"
#include "support/ConfigFile.h"
#include "support/ScriptedDesktop.h"
#include "support/TempDir.h"
#include "ui/ListBox.h"

#include <chrono>
#include <cstdio>
#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>

namespace {

using Clock = std::chrono::steady_clock;

// The baseline: list the folder, open each file and read up to the sixth line end.
size_t PlainLoop(const std::string& dir)
{
    size_t lines = 0;
    DIR* d = opendir(dir.c_str());
    char buf[4096];
    while (dirent* e = readdir(d)) {
        std::string name = e->d_name;
        if (name.size() < 4 || name.compare(name.size() - 4, 4, ".bte") != 0)
            continue;
        int fd = open((dir + "/" + name).c_str(), O_RDONLY);
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

template <class F>
double BestSeconds(F&& f, int runs)
{
    double best = 1e9;
    for (int i = 0; i < runs; ++i) {
        auto t0 = Clock::now();
        f();
        best = std::min(best, std::chrono::duration<double>(Clock::now() - t0).count());
    }
    return best;
}

}  // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    Application app(argc, argv);
    ScriptedDesktop desktop;
    int status = 0;
    for (int count : {1000, 10000}) {
        TempDir tmp;
        base::SetProgramDirectory(tmp.path());
        const std::string game = tmp / "game";
        for (int i = 0; i < count; ++i)
            TempDir::Write(game + "/turn" + std::to_string(i) + ".bte",
                           BattleText("1 0", "Battle number " + std::to_string(i), "17 60", "fog 3") +
                               std::string(20000, 'd'));  // battle data follows the header lines
        WriteConfig(tmp.path(), game, tmp / "out", tmp / "in");
        MainWindow window;
        window.show();
        const int runs = count == 1000 ? 9 : 5;
        PlainLoop(game);  // warm the cache for both
        const double fill = BestSeconds([&] { window.FillBattleList(); }, runs);
        const double plain = BestSeconds([&] { PlainLoop(game); }, runs);
        const double ratio = fill / plain;
        std::printf("battle list, %5d files: fill %8.2f ms, plain loop %8.2f ms, ratio %.2f (goal <= 1.5)%s\n", count,
                    fill * 1e3, plain * 1e3, ratio, ratio <= 1.5 ? "" : "  OVER");
        std::printf("ROW\tfill the battle list, %d files\t%.2f ms\t%.2f ms (open + 6 lines)\t%.2f\t<= 1.5\n", count,
                    fill * 1e3, plain * 1e3, ratio);
        if (window.catalogueList->count() != count)
            status = 1;
    }
    return status;
}
