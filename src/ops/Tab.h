#pragma once
// The three tabs of the catalogue, in the order the tab strip shows them, and the folders they
// list.
#include "app/ConfigStore.h"

#include <optional>
#include <string>

namespace ops {

enum class Tab { Battles, Outgoing, Incoming };

// The archive folder a tab lists; nothing for "Battles", which lists the game folder.
inline std::optional<app::ArchiveDir> ArchiveDirOf(Tab tab)
{
    switch (tab) {
    case Tab::Outgoing: return app::ArchiveDir::Outgoing;
    case Tab::Incoming: return app::ArchiveDir::Incoming;
    default: return std::nullopt;
    }
}

// The folder a tab lists, as stored: the game folder or an archive folder of the current game.
inline std::string FolderOf(app::ConfigState& config, Tab tab)
{
    const auto archives = ArchiveDirOf(tab);
    return archives ? config.Current().ArchiveDirectory(*archives) : config.GameDir;
}

// A file of a folder as stored directory values are joined: dir + "\" + name. A folder that ends
// in a backslash already gives a doubled one, which the file functions accept.
inline std::string JoinPath(const std::string& dir, const std::string& name) { return dir + "\\" + name; }

}  // namespace ops
