#pragma once
// Unpacking a received RAR archive into the game directory through the unrar library, which the
// program links at build time.
#include <string>

namespace archive {

// Unpacks every member of the archive (a program path) into gameDir and tells the user how it
// went: one message box for the outcome, the archive's comment first when it has one.
void ExtractRarArchive(const std::string& archivePath, const std::string& gameDir);

}  // namespace archive
