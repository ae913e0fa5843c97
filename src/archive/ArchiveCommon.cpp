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

}  // namespace archive
