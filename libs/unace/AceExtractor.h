#pragma once
// Extraction of a whole ACE archive into a folder. Nothing is written unless every header is
// sound, the archive is neither encrypted nor split into volumes and every member name stays
// inside the folder. Each file goes through the member writer and replaces its target only
// after its CRC matched.
#include "AceArchive.h"

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace ace {

// The member name as a relative path for this file system ("/" separators, OEM characters as
// UTF-8), or empty when the name is unsafe.
std::string MemberPath(const std::string& storedName);

class AceDecoder;

// destDir is a native folder that must exist. When `only` is not empty, just the members named
// there are written (names compared without regard to case or separator style). A caller that
// extracts many archives may lend a decoder, so its window is allocated once.
Status ExtractArchive(std::span<const uint8_t> data, const std::string& destDir,
                      const std::vector<std::string>& only = {}, AceDecoder* decoder = nullptr);

}  // namespace ace
