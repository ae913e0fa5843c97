#pragma once
// A configuration whose current game (record 0 unless told) uses the given folders, in memory as
// the program holds it after start-up, or written to turnex.dat.
#include "app/ConfigStore.h"
#include "support/TempDir.h"

#include <string>

inline app::ConfigState MakeConfig(const std::string& gameDir, const std::string& outgoing, const std::string& incoming,
                                   size_t current = 0, uint8_t zipOverwrite = 1)
{
    app::ConfigState state;
    for (size_t game = 0; game < app::kGameCount; ++game) {
        auto profile = state.Profile(game);
        profile.SetGameDir(game == current ? gameDir : "c:\\");
        profile.SetOutgoingDir(game == current ? outgoing : "c:\\");
        profile.SetIncomingDir(game == current ? incoming : "c:\\");
        profile.SetZipOverwrite(zipOverwrite);
        profile.SetSelected(game == current ? 1 : 0);
    }
    state.CurrentGame = static_cast<uint8_t>(current);
    state.GameDir = gameDir;
    return state;
}

inline void WriteConfig(const std::string& programDir, const std::string& gameDir, const std::string& outgoing,
                        const std::string& incoming, size_t current = 0, uint8_t zipOverwrite = 1)
{
    const app::ConfigState state = MakeConfig(gameDir, outgoing, incoming, current, zipOverwrite);
    TempDir::Write(programDir + "/turnex.dat",
                   std::string(reinterpret_cast<const char*>(state.Image.data()), state.Image.size()));
}

// A battle file with the given lines 4, 6, 7 and 8 (CR LF line ends).
inline std::string BattleText(const std::string& side, const std::string& title, const std::string& turns,
                              const std::string& visibility)
{
    return "Vantaris battle\r\n1\r\n2\r\n" + side + "\r\nmap\r\n" + title + "\r\n" + turns + "\r\n" + visibility +
           "\r\nrest\r\n";
}
