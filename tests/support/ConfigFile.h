#pragma once
// Writes a turnex.dat whose current game (record 0 unless told) uses the given folders.
#include "app/ConfigStore.h"
#include "support/TempDir.h"

#include <string>

inline void WriteConfig(const std::string& programDir, const std::string& gameDir, const std::string& outgoing,
                        const std::string& incoming, size_t current = 0, uint8_t zipOverwrite = 1)
{
    app::ConfigState state;
    for (size_t g = 0; g < app::kGameCount; ++g) {
        auto p = state.Profile(g);
        p.SetGameDir(g == current ? gameDir : "c:\\");
        p.SetOutgoingDir(g == current ? outgoing : "c:\\");
        p.SetIncomingDir(g == current ? incoming : "c:\\");
        p.SetZipOverwrite(zipOverwrite);
        p.SetSelected(g == current ? 1 : 0);
    }
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
