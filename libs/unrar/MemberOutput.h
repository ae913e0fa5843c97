#pragma once
// Where members land: a file is written to a temporary file beside its target and renamed over it
// only after its checksum matched, so a damaged member never replaces a good file. Links are
// made only when they stay inside the destination.
#include <cstdint>
#include <string>

namespace unrar {

class MemberOutput {
public:
    MemberOutput() = default;
    ~MemberOutput() { Abort(); }
    MemberOutput(const MemberOutput&) = delete;
    MemberOutput& operator=(const MemberOutput&) = delete;

    // ERAR_SUCCESS or ERAR_ECREATE.
    int Create(const std::string& target);
    // ERAR_SUCCESS or ERAR_EWRITE.
    int Write(const uint8_t* data, size_t size);
    // Sets the time (when known), flushes and renames: ERAR_SUCCESS, ERAR_ECLOSE or ERAR_ECREATE.
    int Commit(int64_t mtime);
    // Removes the temporary file.
    void Abort();

private:
    std::string target_;
    std::string temp_;
    int fd_ = -1;
    bool replacing_ = false;
};

// Creates the folder (and those above it) below destDir: ERAR_SUCCESS or ERAR_ECREATE.
int MakeFolder(const std::string& destDir, const std::string& rel);

// Whether a symlink stored at rel (a safe relative path) pointing at target resolves inside the
// destination folder, judged on the names alone.
bool LinkStaysInside(const std::string& rel, const std::string& target);

// Places a symlink at target (a native path from PrepareTarget), replacing a file or link there.
int MakeSymlink(const std::string& target, const std::string& linkText);

}  // namespace unrar
