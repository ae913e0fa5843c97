#include "ConfigStore.h"

#include "base/Errors.h"
#include "base/Files.h"
#include "base/ProgramDir.h"
#include "base/Registry.h"
#include "base/StoreLock.h"

#include <algorithm>
#include <cstring>

namespace app {

std::string GameProfile::GetString(size_t offset) const
{
    const uint8_t* f = r_ + offset;
    return std::string(reinterpret_cast<const char*>(f + 1), f[0]);
}

void GameProfile::SetString(size_t offset, std::string_view value)
{
    uint8_t* f = r_ + offset;
    size_t n = std::min<size_t>(value.size(), GameProfileLayout::StringField - 1);
    f[0] = static_cast<uint8_t>(n);
    std::memcpy(f + 1, value.data(), n);
}

std::string ConfigFilePath() { return base::ProgramDirectory() + "/" + kConfigFileName; }

void LoadConfiguration(ConfigState& state, const base::RegistryHive& registry)
{
    for (size_t g = 0; g < kGameCount; ++g) {
        GameProfile p = state.Profile(g);
        p.SetIncomingDir("c:\\");
        p.SetOutgoingDir("c:\\");
        p.SetGameDir("c:\\");
    }
    const std::string path = ConfigFilePath();
    // Two copies started together must not both find the file missing and write it over each
    // other's: reading and creating happen under the store's lock.
    const std::string target = base::ResolveStoreTarget(path);
    const base::StoreLock lock(target);
    size_t got = 0;
    try {
        base::FileStream in(path, base::FileStream::OpenRead);
        got = in.Read(state.Image.data(), kConfigSize);
    } catch (const base::Exception&) {
        got = 0;  // missing or unreadable: created anew below
    }
    if (got == kConfigSize)
        return;

    // The new file is written in one piece once the registry has been read, so a failure on
    // the way leaves no half-written file behind; the next start creates it again.
    base::ReplacementFile out(target);

    for (size_t g = 0; g < kGameCount; ++g) {
        GameProfile p = state.Profile(g);
        if (!registry.KeyExists(kRegistryKey))
            continue;
        if (!registry.HasSubKey(kRegistryKey, kRegistrySubKeys[g]))
            continue;
        if (g == 0)
            p.SetKeyFound(1);
        std::string key = std::string(kRegistryKey) + "\\" + kRegistrySubKeys[g];
        p.SetGameDir(registry.ReadString(key, "location"));
    }
    for (size_t g = 0; g < kGameCount; ++g) {
        GameProfile p = state.Profile(g);
        p.SetZipOverwrite(1);
        if (g == 0)
            p.SetSelected(1);
        else
            p.SetKeyFound(0);
    }
    out.Write(std::string_view(reinterpret_cast<const char*>(state.Image.data()), kConfigSize));
    out.Commit();
}

uint8_t FindCurrentGame(ConfigState& state)
{
    uint8_t current = 0;
    for (size_t g = 0; g < kGameCount; ++g)
        if (state.Profile(g).Selected())
            current = static_cast<uint8_t>(g);
    return current;
}

void SaveConfiguration(const ConfigState& state)
{
    const std::string path = ConfigFilePath();
    // The tail is read and written back under the lock, so that a copy saving at the same
    // moment cannot slip its own file in between; a linked turnex.dat stays a link.
    const std::string target = base::ResolveStoreTarget(path);
    const base::StoreLock lock(target);
    std::string contents;
    {
        // The existing file only: it is never created here, and its tail is kept.
        base::FileStream f(path, base::FileStream::OpenReadWrite);
        contents.resize(static_cast<size_t>(std::max<int64_t>(f.Size(), 0)));
        contents.resize(f.Read(contents.data(), contents.size()));
    }
    if (contents.size() < kConfigSize)
        contents.resize(kConfigSize);
    std::memcpy(contents.data(), state.Image.data(), kConfigSize);
    base::ReplaceFileContents(target, contents);
}

void EnsureTrailingBackslash(ConfigState& state, ArchiveDir which)
{
    GameProfile p = state.Current();
    std::string dir = p.ArchiveDirectory(which);
    if (dir.empty() || dir.back() != '\\')
        p.SetArchiveDirectory(which, dir + "\\");
}

}  // namespace app
