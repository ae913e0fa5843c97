#include "ops/UnpackArchive.h"

#include "app/ConfigStore.h"
#include "archive/AceExtraction.h"
#include "archive/RarExtraction.h"
#include "archive/ZipComponent.h"
#include "base/Desktop.h"

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

ArchiveKind UnpackArchive(app::ConfigState& config, const std::string& archiveName, ZipComponent& zip,
                          base::Desktop& desktop)
{
    app::EnsureTrailingBackslash(config, app::ArchiveDir::Incoming);
    const std::string path = config.Current().IncomingDir() + archiveName;
    const ArchiveKind kind = ArchiveKindOf(archiveName);
    switch (kind) {
    case ArchiveKind::Ace: archive::ExtractAceArchive(path, config.GameDir); break;
    case ArchiveKind::Rar: archive::ExtractRarArchive(path, config.GameDir); break;
    case ArchiveKind::Zip:
        zip.SetZipFileName(path);
        zip.ExtrBaseDir = config.GameDir;
        zip.FSpecArgs.clear();  // every member
        zip.Extract();
        if (zip.SuccessCount > 0)
            desktop.ShowMessage("File(s) extracted succesfully(unzip) !");
        break;
    case ArchiveKind::Other: break;
    }
    return kind;
}

}  // namespace ops
