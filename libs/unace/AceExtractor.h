#pragma once
// Extraction of a whole ACE archive into a folder. Nothing is written unless every header is
// sound, the archive is neither encrypted nor split into volumes and every member name is safe.
// Every member goes through one extraction folder, which refuses what could not finish or would
// land outside, and places each file only after its CRC matched.
#include "AceArchive.h"

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace ace {

// The member name as a relative path for this file system ("/" separators, OEM characters as
// UTF-8), or empty when the name is unsafe.
std::string MemberPath(const std::string& storedName);

// A member that was not extracted, and why, in the player's words.
struct LeftOut {
    std::string name;  // as stored ("\" separators), in UTF-8, control characters shown as "?"
    std::string reason;
};

class AceDecoder;

// destDir is a native folder that must exist. When `only` is not empty, just the members named
// there are written (names compared without regard to case or separator style). A caller that
// extracts many archives may lend a decoder, so its window is allocated once. Members refused
// by the folder are listed in leftOut (when given) and the others still extracted; the result is
// then UnsafeName or WriteError. Damaged data stops the extraction at that member.
Status ExtractArchive(std::span<const uint8_t> data, const std::string& destDir,
                      const std::vector<std::string>& only = {}, AceDecoder* decoder = nullptr,
                      std::vector<LeftOut>* leftOut = nullptr);

}  // namespace ace
