#pragma once
// Stored archives of many sizeable members, so that unpacking one takes long enough to be
// watched and stopped. Each member's bytes depend on its name, so a file that arrived whole is
// told from a half-written one by its content.
#include "AceBytes.h"
#include "archive/RarBytes.h"

#include <cstdint>
#include <cstdlib>
#include <string>
#include <utility>
#include <vector>

namespace longarchives {

using Members = std::vector<std::pair<std::string, std::string>>;

inline Members MakeMembers(int count, size_t size)
{
    Members members;
    for (int i = 0; i < count; ++i) {
        std::string name = "part" + std::to_string(100 + i) + ".bte";
        // A pattern of the member's own, stamped with its offset every kilobyte.
        std::string data(size, static_cast<char>('a' + i % 26));
        for (size_t at = 0; at + 16 <= size; at += 1024) {
            const std::string stamp = std::to_string(i) + ":" + std::to_string(at);
            data.replace(at, stamp.size(), stamp);
        }
        members.emplace_back(std::move(name), std::move(data));
    }
    return members;
}

inline std::string StoredRar(const Members& members)
{
    std::vector<rarbytes::Entry> entries;
    for (const auto& [name, data] : members)
        entries.push_back(rarbytes::File(name, data));
    return rarbytes::Rar5(entries);
}

using acebytes::AceBlock;
using acebytes::AceCrc;
using acebytes::Le16;
using acebytes::Le32;

// Version 2.0 layout, every member stored (method 0).
inline std::string StoredAce(const Members& members)
{
    std::string out = AceBlock(std::string(1, '\0') + Le16(0) + "**ACE**" + '\x14' + std::string("\x14\x02\x00", 3) +
                               Le32(0x41046F21) + std::string(8, '\0') + std::string(1, '\0'));
    for (const auto& [name, data] : members) {
        const auto size = static_cast<uint32_t>(data.size());
        out += AceBlock(std::string(1, '\1') + Le16(1) + Le32(size) + Le32(size) + Le32(0x41046DDA) + Le32(0x20) +
                        Le32(AceCrc(data)) + std::string(4, '\0') + Le16(0) + Le16(static_cast<uint16_t>(name.size())) +
                        name) +
               data;
    }
    return out;
}

}  // namespace longarchives
