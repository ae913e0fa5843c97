#include "ops/PackBattle.h"

#include "app/ConfigStore.h"
#include "archive/ZipComponent.h"
#include "base/Desktop.h"
#include "base/Files.h"
#include "base/Paths.h"
#include "ops/Tab.h"
#include "ops/ZipProgress.h"

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
                       base::Desktop& desktop, archive::WorkProgress* progress)
{
    app::EnsureTrailingBackslash(config, app::ArchiveDir::Outgoing);
    // Naming the archive reads its directory at once; a foreign file is reported and forgotten.
    const std::string archivePath = config.Current().OutgoingDir() + ArchiveNameFor(battleName);
    zip.SetZipFileName(archivePath);
    if (zip.GetZipFileName().empty()) {
        // The component has said what is wrong with the file; packing into it would replace a
        // file that is not ours.
        desktop.ShowError(battleName + " was not packed: " + archivePath +
                          " is in the way and is not a zip archive turnex can add to. Rename or remove it and try "
                          "again.");
        return PackOutcome::NothingPacked;
    }
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
    default:
        // Only a hand-edited configuration gets here; packing under an unknown rule could
        // overwrite an archive the player meant to keep.
        desktop.ShowError("Nothing was packed: the zip overwrite setting of this game (" +
                          std::to_string(config.Current().ZipOverwrite()) +
                          ") is not one turnex knows. Choose one under Options and try again.");
        return PackOutcome::UnknownRule;
    }
    zip.FSpecArgs.clear();
    zip.FSpecArgs.push_back(battle);
    const int32_t reportsBefore = zip.ReportsShown();
    bool stopped = false;
    {
        ZipProgress watch(zip, progress, ZipProgress::Steps::RunningTotal);
        zip.Add();
        stopped = watch.Stopped();
    }
    if (stopped && zip.SuccessCount <= 0) {
        // The library writes the new archive beside the old one and drops it when stopped.
        const std::string archive = zip.GetZipFileName();
        desktop.MessageBox("Compress was cancelled: " + battleName + " was not packed. " +
                               (base::FileExists(archive) ? "The archive " + archive + " was left as it was."
                                                          : "No archive was written."),
                           archive::kCancelledCaption, base::MB_OK);
        return PackOutcome::Stopped;
    }
    if (zip.SuccessCount > 0) {
        desktop.ShowMessage("File successfully zipped!");
        return PackOutcome::Packed;
    }
    // A report of the component has already said why; the library's own messages reach nobody
    // unless they are shown here.
    if (zip.ReportsShown() != reportsBefore)
        return PackOutcome::NothingPacked;
    const std::string archive = zip.GetZipFileName();
    if (zip.LastLibraryMessage().empty()) {
        // Update mode leaves an entry alone that is as new as the battle or newer; the player must
        // know that the archive was not written, or might mail a later turn than intended.
        desktop.ShowMessage(base::ExtractFileName(archive) + " already holds a " + battleName +
                            " dated the same as the battle file or later, so nothing was added.");
        return PackOutcome::AlreadyPacked;
    }
    desktop.ShowError(battleName + " was not packed: " + zip.LastLibraryMessage() + ".\n" +
                      (base::FileExists(archive)
                           ? "The archive " + archive + " was left as it was: it does not hold this turn."
                           : "No archive was written."));
    return PackOutcome::NothingPacked;
}

}  // namespace ops
