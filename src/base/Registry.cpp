#include "Registry.h"

#include "CaseFold.h"
#include "CodePage.h"
#include "Errors.h"
#include "Paths.h"

#include <cctype>
#include <fstream>
#include <sstream>

namespace base {

namespace {

std::string Fold(std::u16string_view s) { return FoldCase(Utf16ToUtf8(s)); }

std::string FoldText(std::string_view s) { return FoldCase(TextToUtf8(s)); }

// Splits a key path into folded components joined by single backslashes.
std::string NormalizeKey(std::string_view folded)
{
    std::string out;
    std::string part;
    auto flush = [&] {
        if (!part.empty()) {
            if (!out.empty())
                out += '\\';
            out += part;
        }
        part.clear();
    };
    for (char c : folded) {
        if (c == '\\')
            flush();
        else
            part += c;
    }
    flush();
    return out;
}

int HexDigit(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return c >= 'a' && c <= 'f' ? c - 'a' + 10 : -1;
}

// Reads an escaped string starting after its opening quote at s[i]; stops at the closing quote.
// Returns false when the string is not closed.
bool ParseQuoted(std::string_view s, size_t& i, std::u16string& out)
{
    out.clear();
    while (i < s.size()) {
        char c = s[i++];
        if (c == '"')
            return true;
        if (c != '\\') {
            // The file is ASCII with escapes; a stray byte is taken as Latin-1.
            out += static_cast<char16_t>(static_cast<unsigned char>(c));
            continue;
        }
        if (i >= s.size())
            return false;
        char e = s[i++];
        switch (e) {
        case 'n': out += u'\n'; break;
        case 'r': out += u'\r'; break;
        case 't': out += u'\t'; break;
        case 'a': out += u'\a'; break;
        case 'b': out += u'\b'; break;
        case 'e': out += char16_t(27); break;
        case 'f': out += u'\f'; break;
        case 'v': out += u'\v'; break;
        case 'x': {
            unsigned v = 0;
            int n = 0;
            while (n < 4 && i < s.size() && HexDigit(s[i]) >= 0) {
                v = v * 16 + static_cast<unsigned>(HexDigit(s[i++]));
                ++n;
            }
            out += n ? static_cast<char16_t>(v) : u'x';
            break;
        }
        default:
            if (e >= '0' && e <= '7') {
                unsigned v = static_cast<unsigned>(e - '0');
                for (int n = 1; n < 3 && i < s.size() && s[i] >= '0' && s[i] <= '7'; ++n)
                    v = v * 8 + static_cast<unsigned>(s[i++] - '0');
                out += static_cast<char16_t>(v);
            } else {
                out += static_cast<char16_t>(static_cast<unsigned char>(e));
            }
        }
    }
    return false;
}

// Hex bytes "aa,bb,..." as UTF-16LE text without its terminating zero.
std::u16string HexToUtf16(std::string_view hex)
{
    std::string bytes;
    int hi = -1;
    for (char c : hex) {
        int d = HexDigit(c);
        if (d < 0)
            continue;
        if (hi < 0) {
            hi = d;
        } else {
            bytes += static_cast<char>(hi * 16 + d);
            hi = -1;
        }
    }
    std::u16string out;
    for (size_t k = 0; k + 1 < bytes.size(); k += 2)
        out += static_cast<char16_t>(static_cast<unsigned char>(bytes[k]) |
                                     (static_cast<unsigned char>(bytes[k + 1]) << 8));
    while (!out.empty() && out.back() == 0)
        out.pop_back();
    return out;
}

}  // namespace

RegistryHive RegistryHive::Parse(std::string_view text)
{
    RegistryHive hive;
    std::map<std::string, RegistryValue>* current = nullptr;
    size_t pos = 0;
    while (pos < text.size()) {
        size_t end = text.find('\n', pos);
        if (end == std::string_view::npos)
            end = text.size();
        std::string line(text.substr(pos, end - pos));
        pos = end + 1;
        // Long hex values continue on the next line after a trailing backslash.
        while (!line.empty() && (line.back() == '\\' || line.back() == '\r') &&
               line.find("=hex") != std::string::npos) {
            if (line.back() == '\r') {
                line.pop_back();
                continue;
            }
            line.pop_back();
            if (pos >= text.size())
                break;
            end = text.find('\n', pos);
            if (end == std::string_view::npos)
                end = text.size();
            line += std::string(text.substr(pos, end - pos));
            pos = end + 1;
        }
        while (!line.empty() && (line.back() == '\r' || line.back() == ' ' || line.back() == '\t'))
            line.pop_back();
        size_t i = 0;
        while (i < line.size() && (line[i] == ' ' || line[i] == '\t'))
            ++i;
        if (i >= line.size() || line[i] == ';' || line[i] == '#')
            continue;
        if (line[i] == '[') {
            // [Key\\Path] timestamp: the name is escaped like a string, ending at "]".
            std::u16string name;
            std::string quoted = line.substr(i + 1);
            auto close = quoted.rfind(']');
            if (close == std::string::npos) {
                current = nullptr;
                continue;
            }
            quoted = quoted.substr(0, close) + "\"";
            size_t k = 0;
            if (!ParseQuoted(quoted, k, name) || k != quoted.size()) {
                current = nullptr;
                continue;
            }
            current = &hive.keys_[NormalizeKey(Fold(name))];
            continue;
        }
        if (!current)
            continue;
        std::u16string valueName;
        if (line[i] == '@') {
            ++i;
        } else if (line[i] == '"') {
            ++i;
            if (!ParseQuoted(line, i, valueName))
                continue;
        } else {
            continue;
        }
        if (i >= line.size() || line[i] != '=')
            continue;
        std::string_view data(line);
        data.remove_prefix(i + 1);
        RegistryValue value;
        size_t k = 0;
        if (!data.empty() && data[0] == '"') {
            k = 1;
            if (!ParseQuoted(data, k, value.Text))
                continue;
            value.Type = RegistryValue::String;
        } else if (data.rfind("str(2):\"", 0) == 0) {
            k = 8;
            if (!ParseQuoted(data, k, value.Text))
                continue;
            value.Type = RegistryValue::ExpandString;
        } else if (data.rfind("hex(2):", 0) == 0) {
            value.Text = HexToUtf16(data.substr(7));
            value.Type = RegistryValue::ExpandString;
        } else if (data.rfind("dword:", 0) == 0 || data.rfind("hex", 0) == 0 || data.rfind("str(", 0) == 0) {
            value.Type = RegistryValue::Other;
        } else {
            continue;
        }
        (*current)[Fold(valueName)] = std::move(value);
    }
    return hive;
}

RegistryHive RegistryHive::CurrentUser()
{
    std::ifstream in(WinePrefix() + "/user.reg", std::ios::binary);
    if (!in)
        return {};
    std::ostringstream buf;
    buf << in.rdbuf();
    return Parse(buf.str());
}

bool RegistryHive::KeyExists(std::string_view keyPath) const
{
    std::string key = NormalizeKey(FoldText(keyPath));
    if (key.empty())
        return true;
    if (keys_.count(key))
        return true;
    // The file lists keys that hold values; a key that only has subkeys shows as their prefix.
    auto it = keys_.lower_bound(key + "\\");
    return it != keys_.end() && it->first.rfind(key + "\\", 0) == 0;
}

bool RegistryHive::HasSubKey(std::string_view keyPath, std::string_view subKey) const
{
    std::string path(keyPath);
    return KeyExists(path + "\\" + std::string(subKey));
}

const RegistryValue* RegistryHive::FindValue(std::string_view keyPath, std::string_view name) const
{
    auto key = keys_.find(NormalizeKey(FoldText(keyPath)));
    if (key == keys_.end())
        return nullptr;
    auto value = key->second.find(FoldText(name));
    return value == key->second.end() ? nullptr : &value->second;
}

std::string RegistryHive::ReadString(std::string_view keyPath, std::string_view name) const
{
    const RegistryValue* value = FindValue(keyPath, name);
    if (!value)
        return {};
    if (value->Type == RegistryValue::Other)
        throw Exception(FormatMessage("Invalid data type for '%s'", name));
    return Utf16ToUtf8(value->Text);
}

}  // namespace base
