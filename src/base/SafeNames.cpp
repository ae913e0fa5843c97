#include "SafeNames.h"

#include <cctype>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <sys/stat.h>
#include <vector>

namespace base {

namespace {

std::optional<std::string> RealPath(const std::string& path)
{
    char buf[PATH_MAX];
    if (!realpath(path.c_str(), buf))
        return std::nullopt;
    return std::string(buf);
}

bool Inside(const std::string& root, const std::string& path)
{
    return path == root || (path.size() > root.size() && path.compare(0, root.size(), root) == 0 &&
                            (root.back() == '/' || path[root.size()] == '/'));
}

}  // namespace

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
    size_t pos = 0;
    while (pos <= name.size()) {
        size_t end = name.find('/', pos);
        if (end == std::string::npos)
            end = name.size();
        std::string part = name.substr(pos, end - pos);
        pos = end + 1;
        if (part.empty() || part == ".")
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

std::optional<std::string> PrepareTarget(const std::string& destDir, const std::string& rel)
{
    auto root = RealPath(destDir);
    if (!root)
        return std::nullopt;
    std::vector<std::string> parts;
    size_t pos = 0;
    while (pos <= rel.size()) {
        size_t end = rel.find('/', pos);
        if (end == std::string::npos)
            end = rel.size();
        if (end > pos)
            parts.push_back(rel.substr(pos, end - pos));
        pos = end + 1;
    }
    if (parts.empty())
        return std::nullopt;
    std::string cur = *root;
    for (size_t i = 0; i + 1 < parts.size(); ++i) {
        cur += (cur.back() == '/' ? "" : "/") + parts[i];
        struct stat st {};
        if (lstat(cur.c_str(), &st) != 0) {
            if (mkdir(cur.c_str(), 0777) != 0 && errno != EEXIST)
                return std::nullopt;
            continue;
        }
        auto real = RealPath(cur);
        if (!real || !Inside(*root, *real))
            return std::nullopt;
        if (stat(cur.c_str(), &st) != 0 || !S_ISDIR(st.st_mode))
            return std::nullopt;
    }
    cur += (cur.back() == '/' ? "" : "/") + parts.back();
    struct stat st {};
    if (lstat(cur.c_str(), &st) == 0 && S_ISDIR(st.st_mode))
        return std::nullopt;
    // A symlink as the last component is replaced by the rename, never written through.
    return cur;
}

}  // namespace base
