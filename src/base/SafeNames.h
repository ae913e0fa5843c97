#pragma once
// Names that come from outside (archive members) are checked after every separator has been
// turned into "/": absolute names, drive letters, ".." parts and empty names are rejected, never
// "cleaned" once and trusted. Nothing is written through a symlink out of the destination.
#include <optional>
#include <string>
#include <string_view>

namespace base {

// The member name as a relative path of plain components joined by "/", or nothing when it is
// unsafe. "." components and repeated separators are dropped.
std::optional<std::string> SafeRelativePath(std::string_view memberName);

// Creates the folders of rel below destDir (a native folder) and returns the native path of the
// file to write, or nothing when a component that exists resolves outside destDir (a symlink out)
// or is not a folder where one is needed.
std::optional<std::string> PrepareTarget(const std::string& destDir, const std::string& rel);

}  // namespace base
