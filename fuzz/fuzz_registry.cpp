// user.reg text of any content: parsing and the look-ups the first start makes.
#include "base/Errors.h"
#include "base/Registry.h"

#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const auto hive = base::RegistryHive::Parse(std::string_view(reinterpret_cast<const char*>(data), size));
    for (const char* key : {"SOFTWARE\\Vantaris\\Iron Plain II", "SOFTWARE\\Vantaris\\Grey Coast", "a", ""}) {
        hive.KeyExists(key);
        try {
            hive.ReadString(key, "location");
            hive.ReadString(key, "");
        } catch (const base::Exception&) {
        }
    }
    return 0;
}
