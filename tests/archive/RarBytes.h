#pragma once
// Little-endian fields, RAR5 variable-length integers and CRC32, for the stored RAR archives that
// tests and benchmarks write byte by byte.
#include <cstdint>
#include <string>
#include <zlib.h>

namespace rarbytes {

inline void Put16(std::string& s, unsigned v)
{
    s += static_cast<char>(v & 0xFF);
    s += static_cast<char>(v >> 8 & 0xFF);
}

inline void Put32(std::string& s, uint32_t v)
{
    Put16(s, v & 0xFFFF);
    Put16(s, v >> 16);
}

inline void PutVint(std::string& s, uint64_t v)
{
    do {
        s += static_cast<char>((v & 0x7F) | (v > 0x7F ? 0x80 : 0));
        v >>= 7;
    } while (v);
}

inline uint32_t Crc(const std::string& s)
{
    return crc32(0, reinterpret_cast<const Bytef*>(s.data()), static_cast<uInt>(s.size()));
}

}  // namespace rarbytes
