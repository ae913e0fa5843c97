#include "archive/ArchiveCommon.h"

#include "base/Paths.h"

namespace archive {

std::string NativeDestination(const std::string& gameDir)
{
    std::string dir = base::NativePath(gameDir);
    if (dir.empty() || dir.back() != '/')
        dir += '/';
    return dir;
}

std::string LeftOutList(const std::vector<std::string>& lines)
{
    if (lines.empty())
        return {};
    constexpr size_t kListed = 20;
    const size_t listed = lines.size() > kListed + 1 ? kListed : lines.size();
    std::string text = "\nNot extracted:";
    for (size_t i = 0; i < listed; ++i)
        text += "\n    " + lines[i];
    if (listed < lines.size())
        text += "\n    ... and " + std::to_string(lines.size() - listed) + " more.";
    return text;
}

}  // namespace archive
