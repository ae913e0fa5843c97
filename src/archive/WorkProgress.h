#pragma once
// How far long archive work has come and whether the player asked it to stop. The work writes
// from its own thread; the window reads it on a timer and sets the stop request from its Cancel
// button, so every field is atomic and nothing here waits.
#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

namespace archive {

class WorkProgress {
public:
    virtual ~WorkProgress() = default;

    // Done out of total units (bytes, or members where bytes are unknown); a total of 0 means
    // that the end cannot be told yet.
    void SetTotal(uint64_t total)
    {
        total_ = total;
        Reported();
    }
    void SetDone(uint64_t done)
    {
        done_ = done;
        Reported();
    }
    void AddDone(uint64_t units)
    {
        done_ += units;
        Reported();
    }
    uint64_t Total() const { return total_; }
    uint64_t Done() const { return done_; }

    // Set by the work where it can stop before its end; Cancel is offered only then.
    void SetStoppable(bool stoppable) { stoppable_ = stoppable; }
    bool Stoppable() const { return stoppable_; }

    void RequestStop() { stop_ = true; }
    bool StopRequested() const { return stop_; }

protected:
    // After every report, on the work's thread.
    virtual void Reported() {}

private:
    std::atomic<uint64_t> total_ {0};
    std::atomic<uint64_t> done_ {0};
    std::atomic<bool> stoppable_ {false};
    std::atomic<bool> stop_ {false};
};

// What the player reads after stopping a Decompress: the archive, and the files that had been
// unpacked by then and stay in the game directory (or that none had).
std::string CancelledUnpackText(const std::string& archiveName, const std::vector<std::string>& arrived);
inline constexpr const char* kCancelledCaption = "Cancelled";

}  // namespace archive
