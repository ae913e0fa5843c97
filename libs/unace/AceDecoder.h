#pragma once
// Decompression of ACE members: stored, LZ77 (ACE 1.0) and the blocked method of ACE 2.0 with
// its DELTA, EXE, SOUND and PIC modes. One decoder keeps the 4 MiB window that the members of
// a solid archive share, so members must be handed over in archive order.
#include "AceArchive.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>

namespace ace {

// Receives the member's bytes in order; returning false stops the decoding with WriteError.
using Sink = std::function<bool(const uint8_t* data, size_t size)>;

class AceDecoder {
public:
    AceDecoder();
    ~AceDecoder();
    AceDecoder(const AceDecoder&) = delete;
    AceDecoder& operator=(const AceDecoder&) = delete;

    // Forgets the window: before a new archive, and before every member of a non-solid one.
    void Reset();

    // Decodes one member whose packed data is given and checks its size and CRC. The sink sees
    // every byte before the CRC is known; a caller that writes files keeps them provisional.
    Status DecodeMember(const Member& member, std::span<const uint8_t> packed, const Sink& sink);

    struct Window;

private:
    std::unique_ptr<Window> window_;
};

// A compressed comment (archive or member); nothing when it does not decode.
std::optional<std::string> DecodeComment(std::span<const uint8_t> packed);

}  // namespace ace
