#pragma once
// The registry, read only: HKEY_CURRENT_USER as the Wine prefix keeps it in user.reg.
#include <map>
#include <string>
#include <string_view>
#include <vector>

namespace base {

struct RegistryValue {
    enum Kind { String, ExpandString, Other };
    Kind Type = Other;
    std::u16string Text;  // for the string kinds
};

class RegistryHive {
public:
    // Parses user.reg text; malformed lines are skipped.
    static RegistryHive Parse(std::string_view text);
    // The current user's hive of the Wine prefix; empty when the file is missing.
    static RegistryHive CurrentUser();

    // Key paths and value names are matched without regard to case; "\" separates keys.
    bool KeyExists(std::string_view keyPath) const;
    bool HasSubKey(std::string_view keyPath, std::string_view subKey) const;
    const RegistryValue* FindValue(std::string_view keyPath, std::string_view name) const;
    // A string value as UTF-8; "" when missing; "Invalid data type for '%s'" otherwise.
    std::string ReadString(std::string_view keyPath, std::string_view name) const;

private:
    std::map<std::string, std::map<std::string, RegistryValue>> keys_;  // case-folded keys
};

}  // namespace base
