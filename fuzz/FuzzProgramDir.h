#pragma once
// A program folder of the fuzz run's own for the data files, made once per run in /tmp (libFuzzer
// ends without running exit handlers, so the small folder stays behind).
#include "base/ProgramDir.h"

#include <string>
#include <unistd.h>

inline std::string FuzzProgramDir()
{
    static const std::string dir = [] {
        char tmpl[] = "/tmp/turnex-fuzz-XXXXXX";
        std::string d = mkdtemp(tmpl);
        base::SetProgramDirectory(d);
        return d;
    }();
    return dir;
}
