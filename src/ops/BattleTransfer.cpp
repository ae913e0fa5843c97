#include "ops/BattleTransfer.h"

#include "base/Files.h"
#include "ops/Tab.h"

namespace ops {

namespace {

using FileTransfer = bool (*)(std::string_view from, std::string_view to);

bool TransferBattle(const app::ConfigState& config, const std::string& battleName, const char* title,
                    FileTransfer transfer, base::Desktop& desktop)
{
    const auto folder = desktop.BrowseForFolder(title);
    if (!folder)
        return false;
    transfer(JoinPath(config.GameDir, battleName), JoinPath(*folder, battleName));
    return true;
}

}  // namespace

bool CopyBattle(const app::ConfigState& config, const std::string& battleName, base::Desktop& desktop)
{
    return TransferBattle(config, battleName, "COPY - Select destination: ", base::CopyFileOverwrite, desktop);
}

bool MoveBattle(const app::ConfigState& config, const std::string& battleName, base::Desktop& desktop)
{
    return TransferBattle(config, battleName, "MOVE - Select destination: ", base::MoveFileNoReplace, desktop);
}

}  // namespace ops
