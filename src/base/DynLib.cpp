#include "DynLib.h"

#include "Paths.h"
#include "ProgramDir.h"

#include <cctype>
#include <dlfcn.h>

namespace base {

std::string SharedObjectName(std::string_view dllName)
{
    std::string base = ExtractFileName(dllName);
    std::string lower;
    for (char c : base)
        lower += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (lower.size() > 4 && lower.compare(lower.size() - 4, 4, ".dll") == 0)
        lower.resize(lower.size() - 4);
    if (lower.rfind("lib", 0) != 0)
        lower = "lib" + lower;
    return lower + ".so";
}

LibHandle LoadLibrary(std::string_view dllName, std::string_view searchDir)
{
    std::string so = SharedObjectName(dllName);
    if (!searchDir.empty()) {
        std::string dir = NativePath(searchDir);
        if (!dir.empty() && dir.back() != '/')
            dir += '/';
        if (void* h = dlopen((dir + so).c_str(), RTLD_NOW | RTLD_LOCAL))
            return h;
    }
    if (void* h = dlopen((ExecutableDirectory() + "/" + so).c_str(), RTLD_NOW | RTLD_LOCAL))
        return h;
    return dlopen(so.c_str(), RTLD_NOW | RTLD_LOCAL);
}

void* GetProcAddress(LibHandle lib, const char* name) { return lib ? dlsym(lib, name) : nullptr; }

void FreeLibrary(LibHandle lib)
{
    if (lib)
        dlclose(lib);
}

}  // namespace base
