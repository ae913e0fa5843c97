#pragma once
// A program folder of the fuzz run's own for the data files, made once and removed at exit.
#include "platform/ProgramDir.h"

#include <cstdlib>
#include <filesystem>
#include <string>
#include <unistd.h>

inline std::string FuzzProgramDir()
{
    static const std::string dir = [] {
        char tmpl[] = "/tmp/turnex-fuzz-XXXXXX";
        std::string d = mkdtemp(tmpl);
        platform::SetProgramDirectory(d);
        std::atexit([] {
            std::error_code ec;
            std::filesystem::remove_all(FuzzProgramDir(), ec);
        });
        return d;
    }();
    return dir;
}
