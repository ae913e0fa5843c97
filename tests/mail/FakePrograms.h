#pragma once
// Stand-ins for the mail programs, at the program's real boundary: small shell scripts in a
// folder put first on the PATH. Each records its arguments, NUL-separated, into <name>.args.
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

class FakePrograms {
public:
    FakePrograms()
    {
        const char* old = std::getenv("PATH");
        oldPath_ = old ? old : "";
    }
    ~FakePrograms() { setenv("PATH", oldPath_.c_str(), 1); }

    void PutFirstOnPath() { setenv("PATH", (dir_.path() + ":" + oldPath_).c_str(), 1); }
    void UseOnlyThisFolder() { setenv("PATH", dir_.path().c_str(), 1); }

    std::string Dir() const { return dir_.path(); }
    std::string operator/(const std::string& name) const { return dir_ / name; }

    // A program that records its arguments, runs the extra shell lines, and exits with the code.
    void Write(const std::string& name, int exitCode = 0, const std::string& extra = {})
    {
        std::string script = "#!/bin/sh\n"
                             "for a in \"$@\"; do printf '%s\\0' \"$a\"; done > '" +
                             dir_ / (name + ".args") + "'\n" + extra + "\nexit " + std::to_string(exitCode) + "\n";
        TempDir::Write(dir_ / name, script);
        std::filesystem::permissions(dir_ / name, std::filesystem::perms::owner_all);
    }
    // xdg-mime answering the query for the default mailto handler.
    void WriteMailtoHandler(const std::string& desktopFile)
    {
        Write("xdg-mime", 0, "printf '%s\\n' '" + desktopFile + "'");
    }

    // The arguments of the last run, or nothing when the program did not run.
    std::optional<std::vector<std::string>> Args(const std::string& name) const
    {
        std::string file = dir_ / (name + ".args");
        if (!std::filesystem::exists(file))
            return std::nullopt;
        std::string bytes = TempDir::Read(file);
        std::vector<std::string> args;
        size_t start = 0;
        for (size_t nul = bytes.find('\0'); nul != std::string::npos; nul = bytes.find('\0', start)) {
            args.push_back(bytes.substr(start, nul - start));
            start = nul + 1;
        }
        return args;
    }

    void Clear()
    {
        for (const auto& entry : std::filesystem::directory_iterator(dir_.path()))
            std::filesystem::remove_all(entry.path());
    }

private:
    TempDir dir_;
    std::string oldPath_;
};

// Sets or clears an environment variable for the life of a test.
class ScopedEnv {
public:
    ScopedEnv(const char* name, const char* value) : name_(name)
    {
        if (const char* old = std::getenv(name))
            old_ = old;
        if (value)
            setenv(name, value, 1);
        else
            unsetenv(name);
    }
    ~ScopedEnv()
    {
        if (old_)
            setenv(name_, old_->c_str(), 1);
        else
            unsetenv(name_);
    }

private:
    const char* name_;
    std::optional<std::string> old_;
};
