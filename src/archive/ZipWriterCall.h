#pragma once
// The command record of the zip library, built from the component's settings.
#include "ZipCall.h"

#include <cstdint>
#include <vector>

class ZipComponent;

struct ZipCommandBuffers {
    std::vector<uint8_t> record;
    std::vector<uint8_t> items;       // ZipFileSpec array (long form)
    std::vector<uint8_t> exclusions;  // text pointers (long form, 160 and up)
    TextCopies texts;
};

// Fills the 216-byte form for version 151 and up, else the short form with its name slots.
void BuildZipCommand(ZipComponent& zip, int32_t version, ZipCommandBuffers& out);
