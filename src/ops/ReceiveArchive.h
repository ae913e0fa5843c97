#pragma once
// A received archive dropped on the window (from the mail client or a file manager) goes into the
// current game's incoming folder, where Decompress finds it. Only zip, RAR and ACE archives are
// taken; everything else is refused with a word on why.
#include "app/ConfigStore.h"
#include "base/Desktop.h"

#include <string>
#include <string_view>
#include <vector>

namespace ops {

// One thing dropped: a file or folder of this machine, or an address from elsewhere.
struct DroppedFile {
    std::string localPath;  // native path; empty when the drop named something that is not local
    std::string address;    // the address as dropped, when it is not a local file
};

struct ReceiveOutcome {
    std::vector<std::string> received;  // names in the incoming folder, in the order dropped
    std::string notReceived;            // one sentence a line on each thing not taken; empty when all came
    bool failed = false;  // something that should have come could not be read or written (not merely refused)
};

// A name ending in .zip, .rar or .ace, in any letter case: what the incoming list shows.
bool IsReceivableArchive(std::string_view name);

// Copies each dropped archive into the incoming folder under its own name. The copy is written
// under a hidden temporary name beside it and renamed when complete, so the list never shows half
// an archive. An archive of the same name (in any letter case, as the games' platform sees names)
// is replaced only when the player answers Yes; No keeps it and says nothing more. Nothing is
// shown here besides that question: the caller tells notReceived after showing what came.
ReceiveOutcome ReceiveArchives(app::ConfigState& config, const std::vector<DroppedFile>& dropped,
                               base::Desktop& desktop);

}  // namespace ops
