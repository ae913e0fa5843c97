#include "archive/ArchiveCommon.h"

#include "platform/Paths.h"

namespace archive {

std::string NativeDestination(const std::string& gameDir)
{
    std::string dir = platform::NativePath(gameDir);
    if (dir.empty() || dir.back() != '/')
        dir += '/';
    return dir;
}

}  // namespace archive
