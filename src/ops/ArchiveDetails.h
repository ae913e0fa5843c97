#pragma once
// The details of a selected archive: when it was last written and how large it is. Shown in the
// window's details panel in the player's date and number formats.
#include "app/Catalogue.h"
#include "app/ConfigStore.h"

#include <cstdint>
#include <string>

namespace ops {

struct ArchiveDetails {
    app::DosDateTime modified {};  // local time, two-second steps
    int64_t size = 0;              // bytes
};

// The folder gains its trailing backslash in memory. Throws the program's errors: a file that
// is gone cannot give a date ("Invalid argument to date encode") nor be opened.
ArchiveDetails ReadArchiveDetails(app::ConfigState& config, app::ArchiveDir which, const std::string& name);

}  // namespace ops
