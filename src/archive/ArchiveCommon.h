#pragma once
// What the archive front ends share.
#include <string>
#include <vector>

namespace archive {

// The destination folder of an extraction as a native path with a trailing "/".
std::string NativeDestination(const std::string& gameDir);

// "\nNot extracted:" and one indented line per member left out; past 20 members the rest are
// counted ("... and N more."), since a box taller than the screen hides its own OK button.
// "" when nothing was left out.
std::string LeftOutList(const std::vector<std::string>& lines);

}  // namespace archive
