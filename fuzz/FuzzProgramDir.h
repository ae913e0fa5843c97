#pragma once
// A program folder of the fuzz run's own for the data files, made once per run.
#include "FuzzScratch.h"
#include "base/ProgramDir.h"

#include <string>

inline std::string FuzzProgramDir()
{
    static const std::string dir = [] {
        std::string d = MakeScratchDir("turnex-fuzz");
        base::SetProgramDirectory(d);
        return d;
    }();
    return dir;
}
