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

// The same for a member that is a folder: creates rel and every folder above it below destDir
// and returns its native path, or nothing under the same rules.
std::optional<std::string> PrepareFolder(const std::string& destDir, const std::string& rel);

// Whether a symlink stored at rel (a safe relative path) and pointing at linkText resolves inside
// the destination, judged on the names alone.
bool LinkStaysInside(std::string_view rel, std::string_view linkText);

}  // namespace base
