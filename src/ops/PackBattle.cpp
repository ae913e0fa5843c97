#include "ops/PackBattle.h"

#include "app/ConfigStore.h"
#include "archive/ZipComponent.h"
#include "base/Desktop.h"
#include "base/Files.h"
#include "ops/Tab.h"

namespace ops {

namespace {

// Cancel ends the whole operation; OK takes the text as it stands, even empty.
bool AskForArchiveName(ZipComponent& zip, base::Desktop& desktop)
{
    std::string path = zip.GetZipFileName();
    if (!desktop.InputQuery("Select a name", "File exists,change name or click OK for overwrite.", path, 255))
        return false;
    zip.SetZipFileName(path);
    return true;
}

}  // namespace

std::string ArchiveNameFor(const std::string& battleName)
{
    // Four characters go whatever they are: ".bte" alone gives ".zip".
    const std::string base = battleName.size() >= 4 ? battleName.substr(0, battleName.size() - 4) : battleName;
    return base + ".zip";
}

PackOutcome PackBattle(app::ConfigState& config, const std::string& battleName, ZipComponent& zip,
                       base::Desktop& desktop)
{
    app::EnsureTrailingBackslash(config, app::ArchiveDir::Outgoing);
    // Naming the archive reads its directory at once; a foreign file is reported and forgotten.
    zip.SetZipFileName(config.Current().OutgoingDir() + ArchiveNameFor(battleName));
    const std::string battle = JoinPath(config.GameDir, battleName);

    switch (config.Current().ZipOverwrite()) {
    case 0: break;
    case 1:
        // Packed MS-DOS local times, compared as signed values; a file that cannot be read gives -1.
        if (base::FileExists(zip.GetZipFileName()) && base::FileAge(zip.GetZipFileName()) > base::FileAge(battle) &&
            !AskForArchiveName(zip, desktop))
            return PackOutcome::Cancelled;
        break;
    case 2:
        if (base::FileExists(zip.GetZipFileName()) && !AskForArchiveName(zip, desktop))
            return PackOutcome::Cancelled;
        break;
    default: return PackOutcome::UnknownRule;
    }
    zip.FSpecArgs.clear();
    zip.FSpecArgs.push_back(battle);
    zip.Add();
    // The component has already said why when nothing was packed.
    if (zip.SuccessCount <= 0)
        return PackOutcome::NothingPacked;
    desktop.ShowMessage("File successfully zipped!");
    return PackOutcome::Packed;
}

}  // namespace ops
