// turnex.dat of any length and content: loading, choosing the current game, saving.
#include "app/ConfigStore.h"
#include "base/Errors.h"
#include "FuzzProgramDir.h"
#include "base/Registry.h"

#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string file = FuzzProgramDir() + "/turnex.dat";
    if (FILE* f = std::fopen(file.c_str(), "wb")) {
        std::fwrite(data, 1, size, f);
        std::fclose(f);
    }
    app::ConfigState state;
    try {
        app::LoadConfiguration(state, base::RegistryHive());
        state.CurrentGame = app::FindCurrentGame(state);
        if (state.CurrentGame > 2)
            std::abort();
        state.GameDir = state.Current().GameDir();
        app::EnsureTrailingBackslash(state, app::ArchiveDir::Outgoing);
        app::EnsureTrailingBackslash(state, app::ArchiveDir::Incoming);
        app::SaveConfiguration(state);
    } catch (const base::Exception&) {
    }
    return 0;
}
