#include "SafeNames.h"

#include <cctype>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <sys/stat.h>
#include <vector>

namespace base {

// The non-empty parts of a "/" separated path.
std::vector<std::string> PathComponents(std::string_view path)
{
    std::vector<std::string> parts;
    size_t pos = 0;
    while (pos <= path.size()) {
        size_t end = path.find('/', pos);
        if (end == std::string_view::npos)
            end = path.size();
        if (end > pos)
            parts.emplace_back(path.substr(pos, end - pos));
        pos = end + 1;
    }
    return parts;
}

std::optional<std::string> SafeRelativePath(std::string_view memberName)
{
    std::string name(memberName);
    for (auto& c : name)
        if (c == '\\')
            c = '/';
    if (name.empty() || name[0] == '/')
        return std::nullopt;
    if (name.size() >= 2 && std::isalpha(static_cast<unsigned char>(name[0])) && name[1] == ':')
        return std::nullopt;
    std::string out;
    for (const auto& part : PathComponents(name)) {
        if (part == ".")
            continue;
        if (part == ".." || part.find('\0') != std::string::npos)
            return std::nullopt;
        if (!out.empty())
            out += '/';
        out += part;
    }
    if (out.empty())
        return std::nullopt;
    return out;
}

}  // namespace base
