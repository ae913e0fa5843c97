#include "ProgramDir.h"

#include <cstdlib>
#include <filesystem>
#include <optional>
#include <system_error>
#include <unistd.h>

namespace base {

namespace {
std::optional<std::string>& Override()
{
    static std::optional<std::string> dir;
    return dir;
}
}  // namespace

std::string ExecutableDirectory()
{
    std::error_code ec;
    auto exe = std::filesystem::read_symlink("/proc/self/exe", ec);
    if (ec)
        return std::filesystem::current_path(ec).string();
    return exe.parent_path().string();
}

std::string ProgramDirectory()
{
    if (Override())
        return *Override();
    static const std::string dir = [] {
        std::string exeDir = ExecutableDirectory();
        if (access(exeDir.c_str(), W_OK) == 0)
            return exeDir;
        std::string base;
        if (const char* xdg = std::getenv("XDG_DATA_HOME"); xdg && *xdg)
            base = xdg;
        else
            base = std::string(std::getenv("HOME") ? std::getenv("HOME") : "") + "/.local/share";
        std::string data = base + "/turnex";
        std::error_code ec;
        std::filesystem::create_directories(data, ec);
        return data;
    }();
    return dir;
}

void SetProgramDirectory(const std::string& dir) { Override() = dir; }

}  // namespace base
