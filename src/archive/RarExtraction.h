#pragma once
// Unpacking a received RAR archive into the game directory through the unrar library, which the
// program links at build time.
#include "archive/WorkProgress.h"

#include <string>

namespace archive {

// Unpacks every member of the archive (a program path) into gameDir and tells the user how it
// went: one message box for the outcome, the archive's comment first when it has one. With a
// progress, the bytes of the archive walked so far are reported after each member, and a stop
// request ends the walk before the next one: the files unpacked until then stay, and the
// message names them.
void ExtractRarArchive(const std::string& archivePath, const std::string& gameDir, WorkProgress* progress = nullptr);

}  // namespace archive
