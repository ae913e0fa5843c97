#pragma once
// A temporary folder for one test, removed afterwards, with small helpers for writing files.
#include <QTemporaryDir>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

class TempDir {
public:
    TempDir() : dir_(QDir::tempPath() + QStringLiteral("/turnex-test-XXXXXX")) {}
    std::string path() const { return dir_.path().toStdString(); }
    std::string operator/(const std::string& name) const { return path() + "/" + name; }

    static void Write(const std::string& file, const std::string& bytes)
    {
        std::filesystem::create_directories(std::filesystem::path(file).parent_path());
        std::ofstream out(file, std::ios::binary | std::ios::trunc);
        out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    }
    static std::string Read(const std::string& file)
    {
        std::ifstream in(file, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }
    // The names in folder, links and folders included, one level deep, sorted.
    static std::vector<std::string> Names(const std::string& folder)
    {
        std::vector<std::string> names;
        for (const auto& e : std::filesystem::directory_iterator(folder))
            names.push_back(e.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }
    // Every file and folder below folder, as relative paths, sorted.
    static std::vector<std::string> Listing(const std::string& folder)
    {
        std::vector<std::string> out;
        for (const auto& e : std::filesystem::recursive_directory_iterator(folder))
            out.push_back(e.path().lexically_relative(folder).string());
        std::sort(out.begin(), out.end());
        return out;
    }

private:
    QTemporaryDir dir_;
};

// Points $WINEPREFIX at a folder for the life of a test.
class ScopedWinePrefix {
public:
    explicit ScopedWinePrefix(const std::string& prefix)
    {
        if (const char* old = std::getenv("WINEPREFIX")) {
            old_ = old;
            had_ = true;
        }
        setenv("WINEPREFIX", prefix.c_str(), 1);
    }
    ~ScopedWinePrefix()
    {
        if (had_)
            setenv("WINEPREFIX", old_.c_str(), 1);
        else
            unsetenv("WINEPREFIX");
    }

private:
    std::string old_;
    bool had_ = false;
};
