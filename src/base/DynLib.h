#pragma once
// Run-time loaded libraries: "NAME.DLL" (any case) loads libname.so from the program's folder
// first, then through the system search path.
#include <string>
#include <string_view>

namespace base {

using LibHandle = void*;

// The file name a library name maps to: "UnAceV2.Dll" -> "libunacev2.so".
std::string SharedObjectName(std::string_view dllName);
// Null when the library cannot be loaded. searchDir, when given, is tried before the
// executable's folder (a configured library directory).
LibHandle LoadLibrary(std::string_view dllName, std::string_view searchDir = {});
void* GetProcAddress(LibHandle lib, const char* name);
void FreeLibrary(LibHandle lib);

}  // namespace base
