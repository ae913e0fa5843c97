#include "ops/UnpackArchive.h"

#include "app/ConfigStore.h"
#include "archive/AceExtraction.h"
#include "archive/ArchiveCommon.h"
#include "archive/RarExtraction.h"
#include "archive/ZipComponent.h"
#include "base/Desktop.h"
#include "ops/ZipProgress.h"

#include <algorithm>
#include <cctype>

namespace ops {

ArchiveKind ArchiveKindOf(std::string_view name)
{
    std::string tail(name.size() > 3 ? name.substr(name.size() - 3) : name);
    for (char& c : tail)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (tail == "zip")
        return ArchiveKind::Zip;
    if (tail == "rar")
        return ArchiveKind::Rar;
    if (tail == "ace")
        return ArchiveKind::Ace;
    return ArchiveKind::Other;
}

std::string ZipOutcomeText(const std::string& archiveName, const ZipComponent& zip)
{
    const int32_t extracted = std::max(zip.SuccessCount, 0);
    const int32_t members = std::max<int32_t>(zip.Count(), extracted + static_cast<int32_t>(zip.SkippedMembers.size()));
    if (members == 0)
        return archiveName + " holds no files: nothing was extracted.";
    std::string text = archiveName + ": " + std::to_string(extracted) + " of " + std::to_string(members) +
                       (members == 1 ? " member was" : " members were") + " extracted into the game folder.";
    if (!zip.SkippedMembers.empty()) {
        std::vector<std::string> lines;
        for (const auto& member : zip.SkippedMembers)
            lines.push_back(member.name + ": " + member.reason);
        text += archive::LeftOutList(lines);
    } else if (!zip.LastLibraryMessage().empty()) {
        text += "\n" + zip.LastLibraryMessage();
    }
    return text;
}

namespace {

bool Complete(const ZipComponent& zip)
{
    return zip.SuccessCount > 0 && zip.SkippedMembers.empty() && zip.SuccessCount >= zip.Count();
}

// Success only when every member came out; otherwise one box names what was left out and why.
void ReportZipOutcome(const std::string& archiveName, const ZipComponent& zip, base::Desktop& desktop)
{
    if (Complete(zip))
        desktop.ShowMessage("File(s) extracted succesfully(unzip) !");
    else
        desktop.ShowError(ZipOutcomeText(archiveName, zip));
}

}  // namespace

ArchiveKind UnpackArchive(app::ConfigState& config, const std::string& archiveName, ZipComponent& zip,
                          base::Desktop& desktop, archive::WorkProgress* progress)
{
    app::EnsureTrailingBackslash(config, app::ArchiveDir::Incoming);
    const std::string path = config.Current().IncomingDir() + archiveName;
    const ArchiveKind kind = ArchiveKindOf(archiveName);
    switch (kind) {
    case ArchiveKind::Ace: archive::ExtractAceArchive(path, config.GameDir, progress); break;
    case ArchiveKind::Rar: archive::ExtractRarArchive(path, config.GameDir, progress); break;
    case ArchiveKind::Zip:
        zip.SetZipFileName(path);
        // An archive whose list of files cannot be read has been reported and its name forgotten.
        if (zip.GetZipFileName().empty())
            break;
        zip.ExtrBaseDir = config.GameDir;
        zip.FSpecArgs.clear();  // every member
        {
            ZipProgress watch(zip, progress, ZipProgress::Steps::Increments);
            zip.Extract();
            // A stop that came with the last report finds everything unpacked.
            if (watch.Stopped() && !Complete(zip)) {
                std::vector<std::string> leftOut;
                for (const auto& member : zip.SkippedMembers)
                    leftOut.push_back(member.name + ": " + member.reason);
                desktop.MessageBox(archive::CancelledUnpackText(archiveName, watch.Finished()) +
                                       archive::LeftOutList(leftOut),
                                   archive::kCancelledCaption, base::MB_OK);
                break;
            }
        }
        ReportZipOutcome(archiveName, zip, desktop);
        break;
    case ArchiveKind::Other: break;
    }
    return kind;
}

}  // namespace ops
