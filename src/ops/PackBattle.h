#pragma once
// Compress: a battle file of the game folder goes into a zip of the same base name in the
// outgoing folder, under the current game's zip overwrite rule.
#include "app/ConfigStore.h"
#include "archive/WorkProgress.h"
#include "archive/ZipComponent.h"
#include "base/Desktop.h"

#include <string>

namespace ops {

enum class PackOutcome {
    Packed,         // "File successfully zipped!" was shown
    AlreadyPacked,  // the archive held the battle at least as new: said so, nothing written
    NothingPacked,  // an error box (or the component's report) has said why; the old archive is as it was
    Cancelled,      // the name prompt was cancelled: nothing written, nothing shown
    UnknownRule,    // an overwrite rule other than 0, 1 or 2: nothing written, an error box says so
    Stopped,        // Cancel was pressed while packing: said so; the old archive is as it was
};

// The battle's name less its last four characters, whatever they are, then ".zip".
std::string ArchiveNameFor(const std::string& battleName);

// The outgoing folder gains its trailing backslash in memory; the name prompt, when the rule
// asks for it, goes through the desktop. zip keeps the archive name that was used. With a
// progress, the zip library's reports feed it and a stop request ends the packing.
PackOutcome PackBattle(app::ConfigState& config, const std::string& battleName, ZipComponent& zip,
                       base::Desktop& desktop, archive::WorkProgress* progress = nullptr);

}  // namespace ops
