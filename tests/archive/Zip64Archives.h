#pragma once
// Zip64 archives: as streaming writers make them, and written byte by byte.
#include "ZipTestSupport.h"

#include <filesystem>
#include <fstream>

namespace ziptest {

struct Zip64Case {
    std::string archive;  // file name in the folder given
    std::string tool;
    std::vector<std::pair<std::string, std::string>> members;  // name, contents
};

// Zip64 archives of two battles as the installed tools stream them: python3's zipfile with
// force_zip64 (a Zip64 extra field in every local header), Info-ZIP zip -fz (Zip64 end record,
// locator and extra fields, a classic end record of markers) and zip packing a pipe (a Zip64
// end record behind plain values).
inline std::vector<Zip64Case> MakeStreamedZip64(const std::string& dir)
{
    const std::string small = "Iron Plain\r\nturn 7\r\n";
    std::string big;
    for (int i = 0; i < 3000; ++i)
        big += "move " + std::to_string(i * 7 % 97) + " north\r\n";
    const auto write = [](const std::string& file, const std::string& bytes) {
        std::ofstream(file, std::ios::binary) << bytes;
    };
    std::filesystem::create_directories(dir + "/src/maps");
    write(dir + "/src/a.bte", small);
    write(dir + "/src/maps/b.bte", big);
    std::vector<Zip64Case> made;
    if (HaveTool("python3")) {
        write(dir + "/src/make.py", "import zipfile\n"
                                    "with zipfile.ZipFile('../py64.zip', 'w', zipfile.ZIP_DEFLATED) as z:\n"
                                    "    for name in ('a.bte', 'maps/b.bte'):\n"
                                    "        with z.open(name, 'w', force_zip64=True) as f:\n"
                                    "            f.write(open(name, 'rb').read())\n");
        if (Run(dir + "/src", "python3 make.py"))
            made.push_back({"py64.zip", "python3 zipfile", {{"a.bte", small}, {"maps/b.bte", big}}});
    }
    if (HaveTool("zip")) {
        if (Run(dir + "/src", "zip -q -X -fz ../fz.zip a.bte maps/b.bte"))
            made.push_back({"fz.zip", "zip -fz", {{"a.bte", small}, {"maps/b.bte", big}}});
        if (Run(dir + "/src", "cat maps/b.bte | zip -q -X ../pipe.zip -"))
            made.push_back({"pipe.zip", "zip from a pipe", {{"-", big}}});
    }
    return made;
}

// Every value in its 64-bit place: the central headers hold 0xFFFFFFFF for both sizes and the
// local header offset and carry the values in their Zip64 extra field, the Zip64 end record and
// its locator precede a classic end record of markers. Members are stored; prefix bytes go in
// front without moving any stored offset.
inline std::string BuildZip64(const std::vector<Member>& members, const std::string& prefix = "")
{
    std::string local, central;
    for (const auto& m : members) {
        const uint64_t offset = local.size();
        const uint32_t crc = Crc32(m.data);
        Le(local, 0x04034B50, 4);
        Le(local, 45, 2);
        Le(local, m.flags, 2);
        Le(local, 0, 2);
        Le(local, m.dosTime, 4);
        Le(local, crc, 4);
        Le(local, 0xFFFFFFFFu, 4);
        Le(local, 0xFFFFFFFFu, 4);
        Le(local, m.name.size(), 2);
        Le(local, 20, 2);
        local += m.name;
        Le(local, 0x0001, 2);
        Le(local, 16, 2);
        Le(local, m.data.size(), 8);
        Le(local, m.data.size(), 8);
        local += m.data;

        std::string extra;
        Le(extra, 0x0001, 2);
        Le(extra, 24, 2);
        Le(extra, m.data.size(), 8);
        Le(extra, m.data.size(), 8);
        Le(extra, offset, 8);
        Le(central, 0x02014B50, 4);
        central += static_cast<char>(45);
        central += static_cast<char>(m.host);
        Le(central, 45, 2);
        Le(central, m.flags, 2);
        Le(central, 0, 2);
        Le(central, m.dosTime, 4);
        Le(central, crc, 4);
        Le(central, 0xFFFFFFFFu, 4);
        Le(central, 0xFFFFFFFFu, 4);
        Le(central, m.name.size(), 2);
        Le(central, extra.size(), 2);
        Le(central, 0, 2);
        Le(central, 0, 2);
        Le(central, 0, 2);
        Le(central, 0x81A40000u, 4);
        Le(central, 0xFFFFFFFFu, 4);
        central += m.name + extra;
    }
    const uint64_t cdOffset = local.size();
    std::string end;
    Le(end, 0x06064B50, 4);
    Le(end, 44, 8);
    Le(end, 45, 2);
    Le(end, 45, 2);
    Le(end, 0, 4);
    Le(end, 0, 4);
    Le(end, members.size(), 8);
    Le(end, members.size(), 8);
    Le(end, central.size(), 8);
    Le(end, cdOffset, 8);
    Le(end, 0x07064B50, 4);
    Le(end, 0, 4);
    Le(end, cdOffset + central.size(), 8);
    Le(end, 1, 4);
    Le(end, 0x06054B50, 4);
    Le(end, 0, 2);
    Le(end, 0, 2);
    Le(end, 0xFFFF, 2);
    Le(end, 0xFFFF, 2);
    Le(end, 0xFFFFFFFFu, 4);
    Le(end, 0xFFFFFFFFu, 4);
    Le(end, 0, 2);
    return prefix + local + central + end;
}

}  // namespace ziptest
