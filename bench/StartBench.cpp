// Start time and peak memory, whole processes. The program (a copy of the built executable in a
// temporary program folder with turnex.dat, a game folder of 50 battles and a Wine prefix whose
// user.reg is about 400 KB) runs until its main window has been exposed, against a minimal Qt
// Widgets program showing one window; interleaved, under the platform of QT_QPA_PLATFORM
// (offscreen when unset). Peak memory: the program idle (started, window shown, ended) and a whole
// process unpacking a 50 MB zip as Decompress does, over the same process unpacking a tiny zip.
#include "Measure.h"
#include "support/ConfigFile.h"
#include "support/TempDir.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>

namespace fs = std::filesystem;

namespace {

// Battle data that compresses about as well as the games' own: numbers and line ends.
std::string BattleData(size_t size, unsigned seed)
{
    std::string data;
    data.reserve(size + 16);
    unsigned x = seed * 2654435761u + 1;
    while (data.size() < size) {
        x = x * 1103515245u + 12345u;
        data += std::to_string((x >> 8) % 100000) + ((x >> 4) % 7 == 0 ? "\r\n" : " ");
    }
    data.resize(size);
    return data;
}

// A Wine prefix's user.reg of about 400 KB, as a prefix with a few programs installed has.
std::string UserRegistry()
{
    std::string text = "WINE REGISTRY Version 2\n;; All keys relative to \\\\User\\\\S-1-5-21-0-0-0-1000\n\n";
    for (int key = 0; text.size() < 400 * 1000; ++key) {
        const std::string product = "Vendor" + std::to_string(key % 50) + "\\\\Product" + std::to_string(key);
        text += "[Software\\\\" + product + "\\\\Settings] 1700000000\n#time=1d9a0b0c0d0e0f0\n";
        text += "\"Window\"=dword:00000" + std::to_string(100 + key % 900) + "\n";
        text += "\"Path\"=\"C:\\\\Program Files\\\\" + product + "\\\\data.dat\"\n";
        text += "\"State\"=hex:00,01,02,03,04,05,06,07,08,09,0a,0b,0c,0d,0e,0f,10,11,12,13\n\n";
    }
    return text;
}

struct Runs {
    bench::Sample seconds;
    bench::Sample kilobytes;
    bool failed = false;
};

void RunInto(Runs& runs, const std::vector<std::string>& argv)
{
    const bench::ProcessResult r = bench::RunProcess(argv);
    runs.failed = runs.failed || r.exitCode != 0;
    runs.seconds.values.push_back(r.seconds);
    runs.kilobytes.values.push_back(static_cast<double>(r.peakKilobytes));
}

// Interleaved's untimed warm-up run went into the samples too.
void DropWarmUp(Runs& runs)
{
    runs.seconds.values.erase(runs.seconds.values.begin());
    runs.kilobytes.values.erase(runs.kilobytes.values.begin());
}

std::string Megabytes(const bench::Sample& kilobytes) { return bench::Figure(kilobytes, "MB", 1.0 / 1024); }

}  // namespace

int main()
{
    TempDir tmp;
    const std::string program = tmp / "program/turnex";
    fs::create_directories(tmp / "program");
    fs::copy_file(TURNEX_EXE, program);
    // The RAR library sits beside the program, as installed.
    fs::copy_file(fs::path(TURNEX_EXE).parent_path() / "libunrar.so", tmp / "program/libunrar.so");
    for (int i = 0; i < 50; ++i)
        TempDir::Write(tmp / ("game/turn" + std::to_string(i) + ".bte"),
                       BattleText("1 0", "Battle " + std::to_string(i), "17 60", "fog 3") + BattleData(2048, i));
    WriteConfig(tmp / "program", tmp / "game", tmp / "out", tmp / "in");
    // The player's Wine prefix, which the program may consult at start.
    TempDir::Write(tmp / "prefix/user.reg", UserRegistry());
    setenv("WINEPREFIX", (tmp / "prefix").c_str(), 1);
    fs::create_directories(tmp / "out");
    fs::create_directories(tmp / "in");

    if (!std::getenv("QT_QPA_PLATFORM"))
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
    const std::string platform = std::getenv("QT_QPA_PLATFORM");
    setenv("TURNEX_EXIT_ON_EXPOSE", "1", 1);

    int status = 0;
    Runs ours, minimal, withText, look;
    // Four sides, each run in turn: the program, the bare window, the window with one line of text
    // (the floor of a window that shows text: text is what sets up the fonts), and the program's
    // look built from the toolkit's widgets alone (the floor of that look).
    bench::Interleaved([&] { RunInto(ours, {program}); },
                       [&] {
                           RunInto(minimal, {MINIMAL_WINDOW_EXE});
                           RunInto(withText, {MINIMAL_WINDOW_EXE, "--text"});
                           RunInto(look, {MINIMAL_WINDOW_EXE, "--look"});
                       },
                       31);
    if (ours.failed || minimal.failed || withText.failed || look.failed) {
        std::fprintf(stderr, "start: a run did not end by itself (program %d, minimal window %d, with text %d)\n",
                     ours.failed, minimal.failed, withText.failed);
        status = 1;
    } else {
        DropWarmUp(ours);
        DropWarmUp(minimal);
        DropWarmUp(withText);
        DropWarmUp(look);
        const double ratio = ours.seconds.Median() / minimal.seconds.Median();
        bench::Row("Program start to the main window mapped, 50 battles (" + platform + ")",
                   bench::Figure(ours.seconds), bench::Figure(minimal.seconds) + " (minimal Qt Widgets window)", ratio,
                   "<= 1.2x", ratio <= 1.2);
        const double textRatio = ours.seconds.Median() / withText.seconds.Median();
        bench::Row("Program start to the main window mapped, 50 battles (" + platform + "), against a text floor",
                   bench::Figure(ours.seconds),
                   bench::Figure(withText.seconds) + " (minimal window with one line of text)", textRatio, "<= 1.2x",
                   textRatio <= 1.2);
        const double lookRatio = ours.seconds.Median() / look.seconds.Median();
        bench::Row("Program start to the main window mapped, 50 battles (" + platform + "), against the look's floor",
                   bench::Figure(ours.seconds),
                   bench::Figure(look.seconds) + " (the same widgets and fonts from the toolkit alone)", lookRatio,
                   "<= 1.2x", lookRatio <= 1.2);
        const double idleMb = ours.kilobytes.Median() / 1024;
        bench::Row("Peak memory, idle (" + platform + ")", Megabytes(ours.kilobytes),
                   Megabytes(minimal.kilobytes) + " (minimal Qt Widgets window)",
                   ours.kilobytes.Median() / minimal.kilobytes.Median(), "<= 36 MB", idleMb <= 36);
    }

    // Decompress of 50 MB against the same process unpacking a few bytes: the growth is what the
    // unpacking itself costs.
    unsetenv("TURNEX_EXIT_ON_EXPOSE");
    TempDir::Write(tmp / "src/big.bte", BattleData(50 * 1000 * 1000, 7));
    TempDir::Write(tmp / "src/small.bte", BattleData(100, 3));
    const bench::ProcessResult zipBig =
        bench::RunProcess({"zip", "-q", "-j", "-6", tmp / "in/big.zip", tmp / "src/big.bte"});
    const bench::ProcessResult zipSmall =
        bench::RunProcess({"zip", "-q", "-j", "-6", tmp / "in/small.zip", tmp / "src/small.bte"});
    if (zipBig.exitCode != 0 || zipSmall.exitCode != 0) {
        std::fprintf(stderr, "unpack: zip could not make the archives\n");
        return 1;
    }
    Runs big, small;
    bench::Interleaved(
        [&] {
            RunInto(big, {UNPACK_DRIVER_EXE, ZIP_LIB_DIR, tmp / "in", "big.zip", tmp / "game"});
        },
        [&] {
            RunInto(small, {UNPACK_DRIVER_EXE, ZIP_LIB_DIR, tmp / "in", "small.zip", tmp / "game"});
        },
        7);
    if (big.failed || small.failed || TempDir::Read(tmp / "game/big.bte").size() != 50u * 1000 * 1000) {
        std::fprintf(stderr, "unpack: the driver failed (50 MB %d, tiny %d)\n", big.failed, small.failed);
        return 1;
    }
    DropWarmUp(big);
    DropWarmUp(small);
    bench::Sample growth;
    for (size_t i = 0; i < big.kilobytes.values.size(); ++i)
        growth.values.push_back(big.kilobytes.values[i] - small.kilobytes.values[i]);
    const double growthMb = growth.Median() / 1024;
    bench::Row("Peak memory, unpacking 50 MB (whole process, over unpacking a tiny zip)",
               (growth.Median() < 0 ? "" : "+") + Megabytes(growth), Megabytes(small.kilobytes) + " (tiny zip)",
               big.kilobytes.Median() / small.kilobytes.Median(), "<= +8 MB", growthMb <= 8);
    return status;
}
