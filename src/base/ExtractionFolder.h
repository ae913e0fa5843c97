#pragma once
// One extraction of one archive into one folder. Every member of every archive format reaches the
// disk through it, so that zip, RAR and ACE obey the same rules:
// - Names: the rules of SafeRelativePath, and valid UTF-8, no control characters, no component longer than a
//   file name may be, no path deeper than kMaxDepth folders or longer than a path may be, and no
//   name ending in kPartSuffix (it would be taken for a leftover). Such a member is refused before
//   anything is created.
// - Nothing is created or written through a link: every component below the folder is opened
//   relative to the folder without following links. A link member is created only when its text,
//   resolved from the real folder that will hold it, stays inside the folder.
// - Letter case: a component that matches an existing file or folder (or an earlier member of this
//   run) in another letter case takes that spelling, as Wine would find it.
// - Size: a member that declares more than the folder's free space, or more than kMaxMemberSize,
//   is refused before it is written; writing stops when a member grows past its declared size (or
//   past kMaxMemberSize when it declares none).
// - A file is written under a visible temporary name beside its target ("Turn07.bte.turnex-part").
//   Finish flushes the committed files (a few each on its own, many with one flush of their file
//   system; each starts going to the disk as it is written), renames them into place in the
//   order they were committed, then flushes their folders. Temporary files older than a day, left
//   by a run that was killed, are removed when the folder is opened; a second run of the same
//   archive writes over its own leftovers.
// Until Finish, and whenever a member fails, a file of the target's name stays byte for byte as it was.
#include "MemberWriter.h"

#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace base {

inline constexpr uint64_t kMaxMemberSize = uint64_t {1} << 30;  // battle files are kilobytes to megabytes
inline constexpr int kMaxDepth = 64;                            // folders below the destination
inline constexpr std::string_view kPartSuffix = ".turnex-part";

enum class Refusal {
    None,
    UnsafeName,      // absolute, "..", a drive letter, a control character, too long or too deep
    UnreadableName,  // not UTF-8, and nothing says which code page it is in
    ThroughLink,     // a folder on the way is a link (or a link member would point outside)
    NotAFolder,      // a file stands where the member needs a folder
    IsAFolder,       // a folder stands where the member's file goes
    TooLarge,        // declares (or grew to) more than kMaxMemberSize
    NoSpace,         // declares more than the folder's free space
    GrewPastSize,    // wrote more than it declared
    CannotCreate,    // the system refused to create the file or folder (systemError says why)
    CannotWrite,
    CannotFlush,
    CannotPlace,  // the finished file could not take its target's place
};

struct Outcome {
    Refusal refusal = Refusal::None;
    int systemError = 0;     // errno of the step that failed, 0 when the refusal is turnex's own
    uint64_t size = 0;       // TooLarge, NoSpace, GrewPastSize: what the member declares (0: nothing)
    uint64_t available = 0;  // NoSpace: the folder's free space
    explicit operator bool() const { return refusal == Refusal::None; }
};

// Plain words for a failed outcome, for the player: "unsafe name", "it would need 2.0 GB but the
// disk has 1.1 GB free", "No space left on device" ...; "" for success.
std::string Describe(const Outcome& outcome);

class ExtractionFolder;

// One file member on its way to the disk. Discarded (its temporary file removed) when destroyed
// without Commit.
class MemberFile {
public:
    MemberFile() = default;
    ~MemberFile();
    MemberFile(const MemberFile&) = delete;
    MemberFile& operator=(const MemberFile&) = delete;

    Outcome Write(const void* data, size_t size);
    // The member checked out (its checksum matched): it gets its time and mode now and takes its
    // target's place at Finish. Call at most once.
    Outcome Commit(const MemberStamp& stamp = {});
    void Discard();
    uint64_t Written() const { return written_; }
    bool IsOpen() const { return fd_ >= 0; }

private:
    friend class ExtractionFolder;
    ExtractionFolder* folder_ = nullptr;
    int fd_ = -1;
    int parentFd_ = -1;  // the folder that holds it, owned
    std::string tempName_;
    std::string targetName_;
    std::string rel_;  // the relative path as it will be on the disk (existing spellings kept)
    std::optional<uint64_t> limit_;
    uint64_t written_ = 0;
    uint64_t writtenOut_ = 0;  // what has been handed to the disk to write out
    std::optional<mode_t> replacedMode_;
    Outcome failure_;  // a write that failed stays failed: Commit reports it
};

class ExtractionFolder {
public:
    // nativeDir must exist; it is opened once, and every member is placed relative to it.
    explicit ExtractionFolder(const std::string& nativeDir);
    // Finishes what was committed and not finished yet.
    ~ExtractionFolder();
    ExtractionFolder(const ExtractionFolder&) = delete;
    ExtractionFolder& operator=(const ExtractionFolder&) = delete;

    bool IsOpen() const { return rootFd_ >= 0; }
    int OpenError() const { return openError_; }

    // The member name as the relative path it takes ("/" separators, "." parts dropped), or
    // nothing when it is unsafe (see above). Judged on the name alone.
    static std::optional<std::string> CheckName(std::string_view memberName);
    // Why CheckName refused a name.
    static Refusal NameRefusal(std::string_view memberName);

    // Creates rel (a checked name) and every folder above it.
    Outcome MakeFolder(std::string_view rel);
    // Opens the temporary file of the file member rel (a checked name), creating the folders above
    // it. declaredSize is what the archive says the member holds (nothing when it does not say).
    Outcome OpenFile(std::string_view rel, std::optional<uint64_t> declaredSize, MemberFile& file);
    // Places a symbolic link rel -> linkText, replacing a file or link of that name at once.
    Outcome PlaceSymlink(std::string_view rel, std::string_view linkText);
    // Opens an earlier member for reading (committed in this run, or on the disk already), never
    // through a link: for archives that store a second copy of a file as a reference to the first.
    // A file descriptor the caller closes, or -1.
    int OpenForReading(std::string_view rel);

    // Flushes the committed members, renames them into place, flushes their folders. Returns the
    // members that could not take their place, by relative path. Safe to call more than once; each
    // call finishes what was committed since the last one.
    std::vector<std::pair<std::string, Outcome>> Finish();

private:
    friend class MemberFile;
    struct Pending {
        int parentFd;  // owned
        std::string tempName;
        std::string targetName;
        std::string rel;
    };
    struct Resolved {
        int parentFd = -1;  // owned by the caller
        std::string name;   // the last component, in the spelling it takes
        std::string rel;
    };
    Outcome ResolveParent(std::string_view rel, bool create, Resolved& out);
    std::string SpellingIn(int dirFd, const std::string& dirRel, const std::string& name);
    void Remember(const std::string& dirRel, const std::string& name);
    std::string FreeTempName(const std::string& dirRel, const std::string& targetName);
    void Forget(MemberFile& file);
    void RemoveStaleParts();

    int rootFd_ = -1;
    int openError_ = 0;
    std::string root_;  // the real path of the folder
    std::vector<Pending> pending_;
    // Per folder (relative path, "" for the root): case-folded name -> spelling, of what is on the
    // disk and of what this run has placed there.
    std::map<std::string, std::map<std::string, std::string>> spellings_;
    std::set<std::string> tempsInUse_;  // relative paths of the temporary files of open or pending members
    std::set<MemberFile*> openFiles_;   // discarded when the folder goes first
};

}  // namespace base
