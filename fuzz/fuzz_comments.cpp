// user.dat of any content: find, save and remove never crash, and a save or remove that succeeds
// keeps every readable record of other names byte for byte.
#include "app/CommentStore.h"
#include "base/Errors.h"
#include "FuzzProgramDir.h"

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <unistd.h>

namespace {

std::string ReadAll(const std::string& f)
{
    std::ifstream in(f, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

void WriteAll(const std::string& f, const std::string& bytes)
{
    std::ofstream(f, std::ios::binary | std::ios::trunc)
        .write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

bool IsKey(const std::string& rec, const std::string& key)
{
    return static_cast<unsigned char>(rec[0]) == key.size() && rec.compare(1, key.size(), key) == 0;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 1)
        return 0;
    // The first byte picks the name; the rest is the file.
    const std::string names[] = {"", "a.bte", "A.BTE", "x"};
    const std::string key = names[data[0] % 4];
    const std::string file = FuzzProgramDir() + "/user.dat";
    const std::string before(reinterpret_cast<const char*>(data) + 1, size - 1);
    const size_t whole = before.size() / 282 * 282;

    WriteAll(file, before);
    try {
        app::FindComment(key);
    } catch (const base::Exception&) {
    }

    WriteAll(file, before);
    try {
        app::SaveComment(key, "note");
        const std::string after = ReadAll(file);
        bool replaced = false;
        for (size_t at = 0; at < whole; at += 282) {
            const std::string rec = before.substr(at, 282);
            if (!replaced && IsKey(rec, key)) {
                replaced = true;
                continue;
            }
            if (after.compare(at, 282, rec) != 0)
                std::abort();
        }
    } catch (const base::Exception&) {
        if (ReadAll(file) != before)
            std::abort();  // a failed save writes nothing
    }

    WriteAll(file, before);
    try {
        app::RemoveComments(key);
        const std::string after = ReadAll(file);
        std::string kept;
        for (size_t at = 0; at < whole; at += 282)
            if (!IsKey(before.substr(at, 282), key))
                kept += before.substr(at, 282);
        if (after != kept)
            std::abort();
    } catch (const base::Exception&) {
        if (ReadAll(file) != before)
            std::abort();
    }
    return 0;
}
