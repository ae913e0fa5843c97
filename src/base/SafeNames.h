#pragma once
// Names that come from outside (archive members) are checked after every separator has been
// turned into "/": absolute names, drive letters, ".." parts and empty names are rejected, never
// "cleaned" once and trusted. Where the checked names may then land is ExtractionFolder's to say.
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace base {

// The non-empty parts of a "/" separated path.
std::vector<std::string> PathComponents(std::string_view path);

// The member name as a relative path of plain components joined by "/", or nothing when it is
// unsafe. "." components and repeated separators are dropped.
std::optional<std::string> SafeRelativePath(std::string_view memberName);

}  // namespace base
