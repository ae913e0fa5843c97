#pragma once
// The bytes ACE archives are built from in the tests: little-endian numbers, the format's CRC and
// its blocks.
#include <cstdint>
#include <string>
#include <zlib.h>

namespace acebytes {

// The ACE CRC: zlib's register without its final inversion.
inline uint32_t AceCrc(const std::string& bytes)
{
    return ~static_cast<uint32_t>(
        crc32(0, reinterpret_cast<const Bytef*>(bytes.data()), static_cast<uInt>(bytes.size())));
}

inline std::string Le16(uint16_t v) { return {static_cast<char>(v), static_cast<char>(v >> 8)}; }
inline std::string Le32(uint32_t v) { return Le16(static_cast<uint16_t>(v)) + Le16(static_cast<uint16_t>(v >> 16)); }

// A block: the low half of the body's CRC, the body's size, the body.
inline std::string AceBlock(const std::string& body)
{
    return Le16(static_cast<uint16_t>(AceCrc(body))) + Le16(static_cast<uint16_t>(body.size())) + body;
}

}  // namespace acebytes
