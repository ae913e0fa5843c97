// Decompress of one zip as a whole process, for the peak-memory benchmark: the zip component set up
// as the window sets it, the zip libraries loaded from the given folder, the archive unpacked into
// the game folder. Usage: bench_unpack_driver LIBDIR INCOMING ARCHIVE GAMEDIR
#include "ops/TurnZip.h"
#include "ops/UnpackArchive.h"
#include "support/ConfigFile.h"
#include "support/ScriptedDesktop.h"

#include <cstdio>

int main(int argc, char** argv)
{
    if (argc != 5) {
        std::fprintf(stderr, "usage: %s LIBDIR INCOMING ARCHIVE GAMEDIR\n", argv[0]);
        return 2;
    }
    ScriptedDesktop desktop;
    ZipComponent zip;
    ops::SetUpTurnZip(zip);
    zip.SetDLLDirectory(argv[1]);
    app::ConfigState config = MakeConfig(argv[4], argv[2], argv[2]);
    ops::UnpackArchive(config, argv[3], zip, desktop);
    for (const auto& shown : desktop.shown)
        std::fprintf(stderr, "%s\n", shown.text.c_str());
    return desktop.Errors().empty() && !desktop.shown.empty() ? 0 : 1;
}
