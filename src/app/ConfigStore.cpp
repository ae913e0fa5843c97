#include "ConfigStore.h"

#include "base/CodePage.h"
#include "base/Errors.h"
#include "base/Files.h"
#include "base/Paths.h"
#include "base/ProgramDir.h"
#include "base/Registry.h"
#include "base/StoreLock.h"

#include <algorithm>
#include <cstring>

namespace app {

namespace {

// A native folder is stored as UTF-8; every other value (drive letters, relative and network
// folders) in Windows-1252, as the games' own tools read this file.
bool StoredAsUtf8(std::string_view value) { return !value.empty() && value.front() == '/'; }

}  // namespace

std::string GameProfile::GetString(size_t offset) const
{
    const uint8_t* f = r_ + offset;
    const std::string_view stored(reinterpret_cast<const char*>(f + 1), f[0]);
    // Earlier versions kept a typed native folder in Windows-1252 too: such bytes are not UTF-8.
    return StoredAsUtf8(stored) ? base::TextToUtf8(stored) : base::AnsiToUtf8(stored);
}

void GameProfile::SetString(size_t offset, std::string_view value)
{
    std::string stored;
    if (StoredAsUtf8(value)) {
        stored = base::CutUtf8(value, GameProfileLayout::StringField - 1);
    } else if (auto ansi = base::Utf8ToAnsiExact(value)) {
        stored = std::move(*ansi);
    } else {
        // A drive-letter folder with a character Windows-1252 lacks would come back as another
        // folder: keep the native folder it stands for instead.
        const std::string native = base::NativePath(value);
        stored = StoredAsUtf8(native) ? std::string(base::CutUtf8(native, GameProfileLayout::StringField - 1))
                                      : base::Utf8ToAnsi(value);
    }
    uint8_t* f = r_ + offset;
    const size_t n = std::min<size_t>(stored.size(), GameProfileLayout::StringField - 1);
    f[0] = static_cast<uint8_t>(n);
    std::memcpy(f + 1, stored.data(), n);
}

std::string ConfigFilePath() { return base::ProgramDirectory() + "/" + kConfigFileName; }

void LoadConfiguration(ConfigState& state, const base::RegistryHive& registry)
{
    LoadConfiguration(state, [&registry] { return registry; });
}

void LoadConfiguration(ConfigState& state, const std::function<base::RegistryHive()>& readRegistry)
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
    const base::RegistryHive registry = readRegistry();
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
