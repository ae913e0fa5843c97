#include "ops/StartGame.h"

#include "app/ConfigStore.h"
#include "base/Desktop.h"
#include "base/Files.h"
#include "base/Paths.h"

namespace ops {

std::string GameProgram(app::ConfigState& config, const StandardChoice& chooseStandard)
{
    switch (config.CurrentGame) {
    case 0: {
        const std::string dir = config.Profile(0).GameDir();
        if (base::FileExists(dir + "\\iron plain#.exe") && !chooseStandard())
            return dir + "\\iron plain#.exe";
        return dir + "\\iron plain.exe";
    }
    case 1: return config.Profile(1).GameDir() + "\\grey coast.exe";
    default: return config.Profile(2).GameDir() + "\\jade tide.exe";
    }
}

bool StartGame(app::ConfigState& config, const StandardChoice& chooseStandard, base::Desktop& desktop)
{
    const std::string program = GameProgram(config, chooseStandard);
    // Wine would start and then fail on its own, out of sight: a missing program is told here.
    if (!base::FileExists(program)) {
        desktop.ShowError("The game could not be started: " + base::NativePath(program) +
                          " was not found. Check the game directory in Options");
        return false;
    }
    const std::string failure = desktop.StartProgram(program, config.GameDir);
    if (!failure.empty()) {
        desktop.ShowError(failure);
        return false;
    }
    return true;
}

}  // namespace ops
