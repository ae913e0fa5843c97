#pragma once
// Stored directory values are Windows-style ("c:\games", "D:\Mail\Out") or native
// ("/home/ann/pbem"). NativePath turns either into a Linux path just before a file is touched.
#include <string>
#include <string_view>

namespace base {

// $WINEPREFIX, else ~/.wine.
std::string WinePrefix();

// True when the path starts with a drive letter and a colon.
bool HasDriveLetter(std::string_view path);

// Every "\" becomes "/", repeated separators collapse, a drive letter maps through the Wine
// prefix, and components that do not exist with the exact case are matched without regard to
// case. Both kinds are UTF-8 text, as the names on the disk are.
std::string NativePath(std::string_view path);

// The same mapping and separator rules without looking at the disk: the path as spelled. Openers
// try it first and resolve letter case only when it does not exist.
std::string DirectPath(std::string_view path);

// The last component of a path, after either separator.
std::string ExtractFileName(std::string_view path);
// The folder of a native path: "." for a bare name, "/" for a file in the root.
std::string NativeFolderOf(const std::string& path);

}  // namespace base
