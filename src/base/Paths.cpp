#include "Paths.h"

#include "CaseFold.h"

#include <cctype>
#include <cstdlib>
#include <dirent.h>
#include <sys/stat.h>
#include <vector>

namespace base {

namespace {

bool Exists(const std::string& path)
{
    struct stat st {};
    return lstat(path.c_str(), &st) == 0;
}

// Finds an entry of dir whose name equals name without regard to case.
bool FindIgnoringCase(const std::string& dir, const std::string& name, std::string& found)
{
    DIR* d = opendir(dir.empty() ? "/" : dir.c_str());
    if (!d)
        return false;
    bool ok = false;
    while (dirent* e = readdir(d)) {
        if (EqualIgnoringCase(e->d_name, name)) {
            found = e->d_name;
            ok = true;
            break;
        }
    }
    closedir(d);
    return ok;
}

std::vector<std::string> SplitComponents(std::string_view path)
{
    std::vector<std::string> parts;
    std::string cur;
    for (char c : path) {
        if (c == '/' || c == '\\') {
            if (!cur.empty())
                parts.push_back(std::move(cur));
            cur.clear();
        } else {
            cur += c;
        }
    }
    if (!cur.empty())
        parts.push_back(std::move(cur));
    return parts;
}

}  // namespace

std::string WinePrefix()
{
    if (const char* p = std::getenv("WINEPREFIX"); p && *p)
        return p;
    const char* home = std::getenv("HOME");
    return std::string(home ? home : "") + "/.wine";
}

bool HasDriveLetter(std::string_view path)
{
    return path.size() >= 2 && std::isalpha(static_cast<unsigned char>(path[0])) && path[1] == ':';
}

namespace {

// The drive mapping of a path: the native base it starts from, the rest, and whether it is absolute.
void MapDrive(std::string_view path, std::string& base, std::string& rest, bool& absolute)
{
    base.clear();
    if (HasDriveLetter(path)) {
        char drive = static_cast<char>(std::tolower(static_cast<unsigned char>(path[0])));
        std::string prefix = WinePrefix();
        std::string link = prefix + "/dosdevices/" + drive + ":";
        if (Exists(link))
            base = link;
        else if (drive == 'c')
            base = prefix + "/drive_c";
        absolute = true;
        rest = std::string(path.substr(2));
    } else {
        absolute = !path.empty() && (path[0] == '/' || path[0] == '\\');
        rest = std::string(path);
    }
}

std::string JoinDirect(const std::string& base, const std::string& rest, bool absolute)
{
    std::string direct;
    for (const auto& p : SplitComponents(base))
        direct += "/" + p;
    const auto parts = SplitComponents(rest);
    for (const auto& p : parts)
        direct += (direct.empty() && !absolute ? "" : "/") + p;
    if (direct.empty())
        return absolute ? "/" : std::string();
    if (!rest.empty() && (rest.back() == '/' || rest.back() == '\\') && !parts.empty())
        direct += "/";
    return direct;
}

}  // namespace

std::string DirectPath(std::string_view path)
{
    std::string base, rest;
    bool absolute = false;
    MapDrive(path, base, rest, absolute);
    return JoinDirect(base, rest, absolute);
}

std::string NativePath(std::string_view path)
{
    std::string base, rest;
    bool absolute = false;
    MapDrive(path, base, rest, absolute);
    // Fast path: the path exists as spelled, so no component needs a case-insensitive search.
    if (std::string direct = JoinDirect(base, rest, absolute); !direct.empty() && Exists(direct))
        return direct;
    std::string out;
    for (const auto& p : SplitComponents(base))
        out += "/" + p;
    bool resolving = true;
    std::vector<std::string> parts = SplitComponents(rest);
    for (size_t i = 0; i < parts.size(); ++i) {
        const std::string& part = parts[i];
        std::string candidate;
        if (out.empty() && !absolute)
            candidate = part;
        else
            candidate = out + "/" + part;
        if (resolving && part != "." && part != ".." && !Exists(candidate)) {
            std::string found;
            std::string dir = out.empty() ? (absolute ? "/" : ".") : out;
            if (FindIgnoringCase(dir, part, found))
                candidate = (out.empty() && !absolute) ? found : out + "/" + found;
            else
                resolving = false;  // nothing below a missing component can exist either
        }
        out = std::move(candidate);
    }
    if (out.empty())
        return absolute ? "/" : std::string();
    // Keep the trailing separator that names a directory ("c:\" stays a directory path).
    if (!rest.empty() && (rest.back() == '/' || rest.back() == '\\') && !parts.empty())
        out += "/";
    return out;
}

std::string ExtractFileName(std::string_view path)
{
    auto pos = path.find_last_of("/\\:");
    return std::string(pos == std::string_view::npos ? path : path.substr(pos + 1));
}

std::string NativeFolderOf(const std::string& path)
{
    const auto pos = path.find_last_of('/');
    if (pos == std::string::npos)
        return ".";
    return pos == 0 ? "/" : path.substr(0, pos);
}

}  // namespace base
