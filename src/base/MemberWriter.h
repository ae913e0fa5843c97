#pragma once
// The one way a file reaches the disk whole, whether an archive member or one of the program's
// own files: its bytes go to a temporary file beside the target, which takes the target's place
// only on Commit, stamped and flushed. Until then, and whenever a step fails, the old file stays
// as it was and the temporary file is removed. Archive members go through ExtractionFolder,
// which adds the rules of where they may land.
#include <cstddef>
#include <ctime>
#include <optional>
#include <string>
#include <sys/types.h>

namespace base {

enum class MemberWriteResult {
    Ok,
    CannotCreate,  // no temporary file could be made beside the target, or the target is a folder
    CannotWrite,   // a write failed: the disk is full, the file too large, ...
    CannotFlush,   // the file could not be flushed to the disk or closed
    CannotPlace,   // the finished file could not take the target's place
};

// What a member brings from its archive besides its bytes.
struct MemberStamp {
    std::optional<std::time_t> modified;  // nothing: the file keeps the time it was written
    std::optional<mode_t> mode;           // permission bits; nothing: those of the file replaced,
                                          // else 0644 less the umask
};

class MemberWriter {
public:
    MemberWriter() = default;
    ~MemberWriter() { Discard(); }
    MemberWriter(const MemberWriter&) = delete;
    MemberWriter& operator=(const MemberWriter&) = delete;

    // target is a native path, normally from PrepareTarget.
    MemberWriteResult Open(const std::string& target);
    MemberWriteResult Write(const void* data, size_t size);
    // Gives the file its time and mode, flushes it and renames it over the target. Call it only
    // once the member checked out (its checksum matched).
    MemberWriteResult Commit(const MemberStamp& stamp = {});
    // Removes the temporary file; the target stays as it was.
    void Discard();
    // The system's error number of the step that failed last (0 when none did), so that a
    // report can say why: a full disk reads differently from a folder one may not write to.
    int SystemError() const { return systemError_; }

private:
    MemberWriteResult Fail(MemberWriteResult result, int error);

    std::string target_;
    std::string temp_;
    int fd_ = -1;
    int systemError_ = 0;
    std::optional<mode_t> replacedMode_;
};

// Removes the hidden temporary files of whole-file rewrites (".turnex-" and 16 hex digits) that a
// run killed in the middle of a write left in folder, when they are older than maxAgeSeconds (a
// younger one may belong to a copy of turnex writing at this moment). Returns how many went.
int RemoveAbandonedTemporaries(const std::string& folder, long maxAgeSeconds);

// The one flush rule: every file is flushed to the disk before it takes its name (or, for a
// stream, before it is reported written). False when the data may not have reached the disk.
bool FlushToDisk(int fd);

}  // namespace base
