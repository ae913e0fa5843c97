#include "ops/StartGame.h"

#include "app/ConfigStore.h"
#include "base/Desktop.h"
#include "base/Files.h"

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

void StartGame(app::ConfigState& config, const StandardChoice& chooseStandard, base::Desktop& desktop)
{
    desktop.StartProgram(GameProgram(config, chooseStandard), config.GameDir);
}

}  // namespace ops
