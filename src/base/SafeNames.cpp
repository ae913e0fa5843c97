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

// The non-empty parts of a "/" separated path.
std::vector<std::string> Components(std::string_view path)
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
    for (const auto& part : Components(name)) {
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

namespace {

// Walks the first `count` parts below root, creating the folders that are missing; the native path
// reached, or nothing when an existing part leads outside root or is no folder.
std::optional<std::string> EnterFolders(const std::string& root, const std::vector<std::string>& parts, size_t count)
{
    std::string cur = root;
    for (size_t i = 0; i < count; ++i) {
        cur += (cur.back() == '/' ? "" : "/") + parts[i];
        struct stat st {};
        if (lstat(cur.c_str(), &st) != 0) {
            if (mkdir(cur.c_str(), 0777) != 0 && errno != EEXIST)
                return std::nullopt;
            continue;
        }
        auto real = RealPath(cur);
        if (!real || !Inside(root, *real))
            return std::nullopt;
        if (stat(cur.c_str(), &st) != 0 || !S_ISDIR(st.st_mode))
            return std::nullopt;
    }
    return cur;
}

}  // namespace

std::optional<std::string> PrepareTarget(const std::string& destDir, const std::string& rel)
{
    auto root = RealPath(destDir);
    const std::vector<std::string> parts = Components(rel);
    if (!root || parts.empty())
        return std::nullopt;
    auto folder = EnterFolders(*root, parts, parts.size() - 1);
    if (!folder)
        return std::nullopt;
    std::string target = *folder + (folder->back() == '/' ? "" : "/") + parts.back();
    struct stat st {};
    if (lstat(target.c_str(), &st) == 0 && S_ISDIR(st.st_mode))
        return std::nullopt;
    // A symlink as the last component is replaced by the rename, never written through.
    return target;
}

std::optional<std::string> PrepareFolder(const std::string& destDir, const std::string& rel)
{
    auto root = RealPath(destDir);
    const std::vector<std::string> parts = Components(rel);
    if (!root || parts.empty())
        return std::nullopt;
    return EnterFolders(*root, parts, parts.size());
}

bool LinkStaysInside(std::string_view rel, std::string_view linkText)
{
    if (linkText.empty() || linkText[0] == '/' || linkText.find('\0') != std::string_view::npos)
        return false;
    if (linkText.size() >= 2 && linkText[1] == ':')
        return false;
    std::vector<std::string> at = Components(rel);
    if (!at.empty())
        at.pop_back();  // the link's own name
    for (const auto& part : Components(linkText)) {
        if (part == ".")
            continue;
        if (part == "..") {
            if (at.empty())
                return false;
            at.pop_back();
        } else {
            at.push_back(part);
        }
    }
    return true;
}

}  // namespace base
