#pragma once
// Decompress: a received archive of the incoming folder is unpacked into the game folder, by the
// back end its name asks for.
#include "app/ConfigStore.h"
#include "archive/WorkProgress.h"
#include "archive/ZipComponent.h"
#include "base/Desktop.h"

#include <string>
#include <string_view>

namespace ops {

enum class ArchiveKind { Zip, Rar, Ace, Other };

// Decided by the name's last three letters alone, whatever their case; the contents are not looked at.
ArchiveKind ArchiveKindOf(std::string_view name);

// What an extraction that left members out (or found none) says: the archive, how many members
// came out, and each member left out with its reason.
std::string ZipOutcomeText(const std::string& archiveName, const ZipComponent& zip);

// The incoming folder gains its trailing backslash in memory. A zip goes through the component;
// "File(s) extracted succesfully(unzip) !" follows only when every member came out, else an error
// box says what was left out. The RAR and ACE front ends report for themselves; any other name
// is ignored silently. Returns the kind taken. With a progress, the back end reports how far it
// has come and stops at the next point it can when asked to; the player is then told that
// Decompress was cancelled and which files had arrived.
ArchiveKind UnpackArchive(app::ConfigState& config, const std::string& archiveName, ZipComponent& zip,
                          base::Desktop& desktop, archive::WorkProgress* progress = nullptr);

}  // namespace ops
