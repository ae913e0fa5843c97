#pragma once
// turnex.dat: three fixed 771-byte game profiles, 2313 bytes, no header.
#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace base {
class RegistryHive;
}

namespace app {

// Byte layout of one profile record.
struct GameProfileLayout {
    static constexpr size_t KeyFound = 0;
    static constexpr size_t IncomingDir = 1;
    static constexpr size_t OutgoingDir = 257;
    static constexpr size_t ZipOverwrite = 513;
    static constexpr size_t GameDir = 514;
    static constexpr size_t Selected = 770;
    static constexpr size_t Size = 771;
    static constexpr size_t StringField = 256;  // length byte + 255 characters
};
constexpr size_t kGameCount = 3;
constexpr size_t kConfigSize = kGameCount * GameProfileLayout::Size;
static_assert(kConfigSize == 2313);

inline constexpr const char* kConfigFileName = "turnex.dat";
inline constexpr const char* GameNames[kGameCount] = {"Iron Plain", "Grey Coast", "Jade Tide"};
// The games' publisher key and each game's subkey, in game order.
inline constexpr const char* kRegistryKey = "SOFTWARE\\Vantaris";
inline constexpr const char* kRegistrySubKeys[kGameCount] = {"Iron Plain II", "Grey Coast", "Jade Tide"};

enum class ArchiveDir { Outgoing, Incoming };

// A view of one record inside the configuration image.
class GameProfile {
public:
    explicit GameProfile(uint8_t* record) : r_(record) {}

    uint8_t KeyFound() const { return r_[GameProfileLayout::KeyFound]; }
    std::string IncomingDir() const { return GetString(GameProfileLayout::IncomingDir); }
    std::string OutgoingDir() const { return GetString(GameProfileLayout::OutgoingDir); }
    uint8_t ZipOverwrite() const { return r_[GameProfileLayout::ZipOverwrite]; }
    std::string GameDir() const { return GetString(GameProfileLayout::GameDir); }
    bool Selected() const { return r_[GameProfileLayout::Selected] != 0; }

    void SetKeyFound(uint8_t v) { r_[GameProfileLayout::KeyFound] = v; }
    void SetIncomingDir(std::string_view v) { SetString(GameProfileLayout::IncomingDir, v); }
    void SetOutgoingDir(std::string_view v) { SetString(GameProfileLayout::OutgoingDir, v); }
    void SetZipOverwrite(uint8_t v) { r_[GameProfileLayout::ZipOverwrite] = v; }
    void SetGameDir(std::string_view v) { SetString(GameProfileLayout::GameDir, v); }
    void SetSelected(uint8_t v) { r_[GameProfileLayout::Selected] = v; }

    std::string ArchiveDirectory(ArchiveDir which) const
    {
        return which == ArchiveDir::Outgoing ? OutgoingDir() : IncomingDir();
    }
    void SetArchiveDirectory(ArchiveDir which, std::string_view v)
    {
        which == ArchiveDir::Outgoing ? SetOutgoingDir(v) : SetIncomingDir(v);
    }

private:
    std::string GetString(size_t offset) const;
    // Values are UTF-8 text; stored cut to 255 bytes, a native folder at a character boundary.
    // Bytes behind the value keep what they held.
    void SetString(size_t offset, std::string_view value);
    uint8_t* r_;
};

// The in-memory image of turnex.dat and the state derived from it.
struct ConfigState {
    std::array<uint8_t, kConfigSize> Image {};
    uint8_t CurrentGame = 0;
    std::string GameDir;  // process-wide copy of the current profile's game directory

    GameProfile Profile(size_t game) { return GameProfile(Image.data() + game * GameProfileLayout::Size); }
    GameProfile Current() { return Profile(CurrentGame); }
};

// Full path of turnex.dat in the program's folder.
std::string ConfigFilePath();

// Fills the image from turnex.dat, or creates the file with the defaults and the games'
// install locations from the registry. Throws the program's errors.
void LoadConfiguration(ConfigState& state, const base::RegistryHive& registry);
// The same, reading the registry only when the file has to be created: a start that finds
// turnex.dat does not parse the prefix's user.reg.
void LoadConfiguration(ConfigState& state, const std::function<base::RegistryHive()>& readRegistry);
// The last record whose Selected byte is set; 0 when none is.
uint8_t FindCurrentGame(ConfigState& state);
// Writes the image over the first 2313 bytes of the existing file; never creates it.
void SaveConfiguration(const ConfigState& state);
// Appends "\" to the current profile's archive directory in memory when it lacks one.
void EnsureTrailingBackslash(ConfigState& state, ArchiveDir which);

}  // namespace app
