#pragma once
#include <string>

namespace base {

// The folder of the running executable (native path, no trailing separator).
std::string ExecutableDirectory();

// Where turnex.dat and user.dat live: the executable's folder when it is writable,
// else $XDG_DATA_HOME/turnex (default ~/.local/share/turnex), created on demand.
std::string ProgramDirectory();

// Tests point the data files at a folder of their own.
void SetProgramDirectory(const std::string& dir);

}  // namespace base
