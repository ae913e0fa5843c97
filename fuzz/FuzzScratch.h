#pragma once
// Scratch folders of a fuzz run, made once per process under the system's temporary folder
// ($TMPDIR): scripts/fuzz points that into its own work folder, which it removes afterwards,
// because libFuzzer ends without running exit handlers.
#include <cstdlib>
#include <filesystem>
#include <string>

inline std::string MakeScratchDir(const char* prefix)
{
    std::string pattern = (std::filesystem::temp_directory_path() / (std::string(prefix) + "-XXXXXX")).string();
    if (!mkdtemp(pattern.data()))
        std::abort();  // without a scratch folder the run would test nothing
    return pattern;
}
