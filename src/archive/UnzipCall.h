#pragma once
// The command record of the unzip library, built from the component's settings.
#include "ZipCall.h"

#include <cstdint>
#include <string>
#include <vector>

class ZipComponent;

struct UnzipCommandBuffers {
    std::vector<uint8_t> record;
    std::vector<uint8_t> items;  // UnzipFileSpec array (long form)
    TextCopies texts;
};

// Fills the 148-byte form for version 152 and up, else the short form with its name slots.
// archive: the archive's name as the library is to open it.
void BuildUnzipCommand(ZipComponent& zip, int32_t version, const std::string& archive, UnzipCommandBuffers& out);
