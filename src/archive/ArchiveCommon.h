#pragma once
// What the archive front ends share.
#include <string>

namespace archive {

// The destination folder of an extraction as a native path with a trailing "/".
std::string NativeDestination(const std::string& gameDir);

}  // namespace archive
