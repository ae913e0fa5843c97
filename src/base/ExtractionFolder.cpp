#include "ExtractionFolder.h"

#include "CaseFold.h"
#include "CodePage.h"
#include "SafeNames.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

namespace base {

namespace {

constexpr std::time_t kStaleAfterSeconds = 24 * 60 * 60;

// A few members are flushed one by one: flushing a whole file system would also wait for
// everything else being written to it, a download for instance. Many members take one flush
// for the whole archive instead, each file system that holds a member once, as flushing
// thousands of files one by one would cost far more.
constexpr size_t kFlushedOneByOne = 16;
constexpr uint64_t kWriteOutStep = 8u << 20;

Outcome Refuse(Refusal refusal, int error = 0) { return Outcome {refusal, error}; }

std::string Join(const std::string& folder, const std::string& name)
{
    return folder.empty() ? name : folder + "/" + name;
}

bool HasControlCharacter(std::string_view text)
{
    return std::any_of(text.begin(), text.end(), [](char c) {
        const auto byte = static_cast<unsigned char>(c);
        return byte < 0x20 || byte == 0x7F;
    });
}

bool EndsWith(std::string_view text, std::string_view end)
{
    return text.size() >= end.size() && text.substr(text.size() - end.size()) == end;
}

// At most maxBytes of the front of a UTF-8 text, never cutting a character in two.
std::string FrontOf(const std::string& text, size_t maxBytes)
{
    if (text.size() <= maxBytes)
        return text;
    size_t cut = maxBytes;
    while (cut > 0 && (static_cast<unsigned char>(text[cut]) & 0xC0) == 0x80)
        --cut;
    return text.substr(0, cut);
}

void CloseFd(int& fd)
{
    if (fd >= 0)
        close(fd);
    fd = -1;
}

// Opens the folder name in dirFd without following a link; on failure the refusal says why.
int OpenFolderIn(int dirFd, const std::string& name, Outcome& failure)
{
    const int fd = openat(dirFd, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd >= 0)
        return fd;
    const int error = errno;
    struct stat st {};
    if (fstatat(dirFd, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0)
        failure = Refuse(Refusal::CannotCreate, error);
    else if (S_ISLNK(st.st_mode))
        failure = Refuse(Refusal::ThroughLink);
    else if (!S_ISDIR(st.st_mode))
        failure = Refuse(Refusal::NotAFolder);
    else
        failure = Refuse(Refusal::CannotCreate, error);
    return -1;
}

std::string Size(uint64_t bytes)
{
    char text[32];
    const double value = static_cast<double>(bytes);
    if (bytes >= (uint64_t {1} << 30))
        std::snprintf(text, sizeof text, "%.1f GB", value / (1 << 30));
    else if (bytes >= (uint64_t {1} << 20))
        std::snprintf(text, sizeof text, "%.1f MB", value / (1 << 20));
    else if (bytes >= 1024)
        std::snprintf(text, sizeof text, "%.1f KB", value / 1024);
    else
        std::snprintf(text, sizeof text, "%llu bytes", static_cast<unsigned long long>(bytes));
    return text;
}

std::string WithReason(const std::string& text, int error)
{
    return error == 0 ? text : text + ": " + std::strerror(error);
}

}  // namespace

std::string Describe(const Outcome& outcome)
{
    switch (outcome.refusal) {
    case Refusal::None: return {};
    case Refusal::UnreadableName:
        return "its name is in an unknown character set (not UTF-8), so it would arrive under another name";
    case Refusal::UnsafeName:
        return "its name is unsafe (it leads out of the folder, holds control characters, or is too long or too "
               "deep)";
    case Refusal::ThroughLink: return "it would be written through a link, or point out of the folder";
    case Refusal::NotAFolder: return "a file stands where it needs a folder";
    case Refusal::IsAFolder: return "a folder of that name is in the way";
    case Refusal::TooLarge:
        // Declared at the start, or found while writing a member that declared nothing.
        if (outcome.size > 0)
            return "it declares " + Size(outcome.size) + ", more than the " + Size(kMaxMemberSize) +
                   " a member may hold";
        return "it grew past " + Size(kMaxMemberSize) + ", the most a member may hold";
    case Refusal::NoSpace:
        return "it declares " + Size(outcome.size) + "; the disk has " + Size(outcome.available) + " free";
    case Refusal::GrewPastSize:
        return "it grew past the " + Size(outcome.size) + " it declares; the archive is damaged or forged";
    case Refusal::CannotCreate: return WithReason("it could not be created", outcome.systemError);
    case Refusal::CannotWrite: return WithReason("it could not be written", outcome.systemError);
    case Refusal::CannotFlush: return WithReason("it could not be saved to the disk", outcome.systemError);
    case Refusal::CannotPlace:
        return WithReason("it could not take the place of the file of its name", outcome.systemError);
    }
    return "unknown failure";
}

// --- MemberFile ---

MemberFile::~MemberFile() { Discard(); }

Outcome MemberFile::Write(const void* data, size_t size)
{
    if (failure_.refusal != Refusal::None)
        return failure_;
    if (fd_ < 0)
        return Refuse(Refusal::CannotWrite, EBADF);
    const uint64_t limit = limit_.value_or(kMaxMemberSize);
    if (size > limit - written_) {
        Outcome outcome = Refuse(limit_ ? Refusal::GrewPastSize : Refusal::TooLarge);
        if (limit_)
            outcome.size = *limit_;
        Discard();
        failure_ = outcome;
        return outcome;
    }
    const auto* p = static_cast<const char*>(data);
    while (size > 0) {
        const ssize_t w = write(fd_, p, size);
        if (w < 0 && errno == EINTR)
            continue;
        // A write that makes no headway has met a full disk.
        if (w <= 0) {
            const Outcome outcome = Refuse(Refusal::CannotWrite, w < 0 ? errno : ENOSPC);
            Discard();
            failure_ = outcome;
            return outcome;
        }
        p += w;
        size -= static_cast<size_t>(w);
        written_ += static_cast<uint64_t>(w);
    }
    // A large member starts going to the disk while the rest of it is decoded, so that its flush
    // at the end waits for the last piece only.
    if (written_ - writtenOut_ >= kWriteOutStep) {
        sync_file_range(fd_, static_cast<off_t>(writtenOut_), static_cast<off_t>(written_ - writtenOut_),
                        SYNC_FILE_RANGE_WRITE);
        writtenOut_ = written_;
    }
    return {};
}

Outcome MemberFile::Commit(const MemberStamp& stamp)
{
    if (failure_.refusal != Refusal::None)
        return failure_;
    if (fd_ < 0 || !folder_)
        return Refuse(Refusal::CannotWrite, EBADF);
    if (const auto mode = stamp.mode ? stamp.mode : replacedMode_)
        fchmod(fd_, *mode & 0777);
    if (stamp.modified) {
        const struct timespec times[2] = {{*stamp.modified, 0}, {*stamp.modified, 0}};
        futimens(fd_, times);
    }
    // Flushed at Finish. Writing it out starts now, while the next member is decoded, so that the
    // flush finds little left to wait for; past the members flushed one by one, the file system's
    // single flush writes the rest in one go.
    if (folder_->pending_.size() < kFlushedOneByOne)
        sync_file_range(fd_, 0, 0, SYNC_FILE_RANGE_WRITE);
    const int closed = close(fd_);
    fd_ = -1;
    if (closed != 0) {
        const Outcome outcome = Refuse(Refusal::CannotWrite, errno);
        Discard();
        failure_ = outcome;
        return outcome;
    }
    ExtractionFolder& folder = *folder_;
    folder.pending_.push_back({parentFd_, tempName_, targetName_, rel_});
    const auto slash = rel_.rfind('/');
    folder.Remember(slash == std::string::npos ? std::string() : rel_.substr(0, slash), targetName_);
    folder.openFiles_.erase(this);
    parentFd_ = -1;
    folder_ = nullptr;
    tempName_.clear();
    return {};
}

void MemberFile::Discard()
{
    CloseFd(fd_);
    if (parentFd_ >= 0 && !tempName_.empty())
        unlinkat(parentFd_, tempName_.c_str(), 0);
    CloseFd(parentFd_);
    if (folder_)
        folder_->Forget(*this);
    folder_ = nullptr;
    tempName_.clear();
}

// --- ExtractionFolder ---

ExtractionFolder::ExtractionFolder(const std::string& nativeDir)
{
    rootFd_ = open(nativeDir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (rootFd_ < 0) {
        openError_ = errno;
        return;
    }
    char real[PATH_MAX];
    if (!realpath(nativeDir.c_str(), real)) {
        openError_ = errno;
        CloseFd(rootFd_);
        return;
    }
    root_ = real;
    RemoveStaleParts();
}

ExtractionFolder::~ExtractionFolder()
{
    for (MemberFile* file : std::vector<MemberFile*>(openFiles_.begin(), openFiles_.end()))
        file->Discard();
    Finish();
    CloseFd(rootFd_);
}

std::optional<std::string> ExtractionFolder::CheckName(std::string_view memberName)
{
    // Names on the disk are UTF-8: bytes of some other code page would name another file under
    // Wine than the sender's.
    if (HasControlCharacter(memberName) || !IsValidUtf8(memberName))
        return std::nullopt;
    auto rel = SafeRelativePath(memberName);
    if (!rel)
        return std::nullopt;
    const std::vector<std::string> parts = PathComponents(*rel);
    if (parts.size() > static_cast<size_t>(kMaxDepth) + 1)
        return std::nullopt;
    for (const auto& part : parts)
        if (part.size() > NAME_MAX)
            return std::nullopt;
    // Our own temporary files carry this ending; a member of that name would be taken for a leftover.
    if (EndsWith(FoldCase(parts.back()), FoldCase(kPartSuffix)))
        return std::nullopt;
    if (rel->size() + kPartSuffix.size() + 1 >= PATH_MAX)
        return std::nullopt;
    return rel;
}

Refusal ExtractionFolder::NameRefusal(std::string_view memberName)
{
    return IsValidUtf8(memberName) ? Refusal::UnsafeName : Refusal::UnreadableName;
}

std::string ExtractionFolder::SpellingIn(int dirFd, const std::string& dirRel, const std::string& name)
{
    auto listing = spellings_.find(dirRel);
    if (listing == spellings_.end()) {
        listing = spellings_.emplace(dirRel, std::map<std::string, std::string> {}).first;
        const int listFd = openat(dirFd, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (DIR* dir = listFd >= 0 ? fdopendir(listFd) : nullptr) {
            while (const dirent* entry = readdir(dir)) {
                const std::string entryName = entry->d_name;
                if (entryName != "." && entryName != "..")
                    listing->second.emplace(FoldCase(entryName), entryName);
            }
            closedir(dir);
        } else if (listFd >= 0) {
            close(listFd);
        }
    }
    // On a file system that tells case apart, the exact name wins over another spelling.
    struct stat st {};
    if (fstatat(dirFd, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0)
        return name;
    const auto found = listing->second.find(FoldCase(name));
    return found == listing->second.end() ? name : found->second;
}

void ExtractionFolder::Remember(const std::string& dirRel, const std::string& name)
{
    auto listing = spellings_.find(dirRel);
    if (listing != spellings_.end())
        listing->second.emplace(FoldCase(name), name);
}

Outcome ExtractionFolder::ResolveParent(std::string_view rel, bool create, Resolved& out)
{
    out = {};
    if (rootFd_ < 0)
        return Refuse(Refusal::CannotCreate, openError_ ? openError_ : EBADF);
    const auto checked = CheckName(rel);
    if (!checked)
        return Refuse(NameRefusal(rel));
    if (root_.size() + 1 + checked->size() + kPartSuffix.size() + 8 >= PATH_MAX)
        return Refuse(Refusal::UnsafeName);
    const std::vector<std::string> parts = PathComponents(*checked);
    int dirFd = rootFd_;
    std::string dirRel;
    for (size_t i = 0; i + 1 < parts.size(); ++i) {
        const std::string name = SpellingIn(dirFd, dirRel, parts[i]);
        Outcome failure;
        int next = OpenFolderIn(dirFd, name, failure);
        if (next < 0 && create && failure.refusal == Refusal::CannotCreate && failure.systemError == ENOENT) {
            if (mkdirat(dirFd, name.c_str(), 0777) != 0 && errno != EEXIST)
                failure = Refuse(Refusal::CannotCreate, errno);
            else
                next = OpenFolderIn(dirFd, name, failure);
            if (next >= 0)
                Remember(dirRel, name);
        }
        if (dirFd != rootFd_)
            close(dirFd);
        if (next < 0)
            return failure;
        dirFd = next;
        dirRel = Join(dirRel, name);
    }
    if (dirFd == rootFd_)
        dirFd = fcntl(rootFd_, F_DUPFD_CLOEXEC, 0);
    if (dirFd < 0)
        return Refuse(Refusal::CannotCreate, errno);
    out.parentFd = dirFd;
    out.name = SpellingIn(dirFd, dirRel, parts.back());
    out.rel = Join(dirRel, out.name);
    return {};
}

Outcome ExtractionFolder::MakeFolder(std::string_view rel)
{
    Resolved at;
    if (const Outcome outcome = ResolveParent(rel, true, at); !outcome)
        return outcome;
    Outcome outcome;
    if (mkdirat(at.parentFd, at.name.c_str(), 0777) != 0) {
        const int error = errno;
        struct stat st {};
        if (error != EEXIST || fstatat(at.parentFd, at.name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0)
            outcome = Refuse(Refusal::CannotCreate, error);
        else if (S_ISLNK(st.st_mode))
            outcome = Refuse(Refusal::ThroughLink);
        else if (!S_ISDIR(st.st_mode))
            outcome = Refuse(Refusal::NotAFolder);
    }
    if (outcome) {
        const auto slash = at.rel.rfind('/');
        Remember(slash == std::string::npos ? std::string() : at.rel.substr(0, slash), at.name);
    }
    close(at.parentFd);
    return outcome;
}

std::string ExtractionFolder::FreeTempName(const std::string& dirRel, const std::string& targetName)
{
    for (int number = 1;; ++number) {
        const std::string numberPart = number == 1 ? std::string() : "." + std::to_string(number);
        const size_t room = NAME_MAX - kPartSuffix.size() - numberPart.size();
        const std::string name = FrontOf(targetName, room) + numberPart + std::string(kPartSuffix);
        if (!tempsInUse_.count(Join(dirRel, name)))
            return name;
    }
}

void ExtractionFolder::Forget(MemberFile& file)
{
    openFiles_.erase(&file);
    const auto slash = file.rel_.rfind('/');
    tempsInUse_.erase(Join(slash == std::string::npos ? std::string() : file.rel_.substr(0, slash), file.tempName_));
}

Outcome ExtractionFolder::OpenFile(std::string_view rel, std::optional<uint64_t> declaredSize, MemberFile& file)
{
    file.Discard();
    file.written_ = 0;
    file.failure_ = {};
    if (declaredSize && *declaredSize > kMaxMemberSize) {
        Outcome outcome = Refuse(Refusal::TooLarge);
        outcome.size = *declaredSize;
        return outcome;
    }
    Resolved at;
    if (const Outcome outcome = ResolveParent(rel, true, at); !outcome)
        return outcome;
    std::optional<mode_t> replacedMode;
    struct stat st {};
    if (fstatat(at.parentFd, at.name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0) {
        if (S_ISDIR(st.st_mode)) {
            close(at.parentFd);
            return Refuse(Refusal::IsAFolder);
        }
        if (S_ISREG(st.st_mode))
            replacedMode = st.st_mode & 0777;
    }
    if (declaredSize) {
        struct statvfs fs {};
        if (fstatvfs(at.parentFd, &fs) == 0) {
            const uint64_t available = static_cast<uint64_t>(fs.f_bavail) * fs.f_frsize;
            if (*declaredSize > available) {
                close(at.parentFd);
                Outcome outcome = Refuse(Refusal::NoSpace);
                outcome.size = *declaredSize;
                outcome.available = available;
                return outcome;
            }
        }
    }
    const auto slash = at.rel.rfind('/');
    const std::string dirRel = slash == std::string::npos ? std::string() : at.rel.substr(0, slash);
    const std::string tempName = FreeTempName(dirRel, at.name);
    // A leftover of a killed run is written over, but only when it is a plain file of its own: a
    // link, a second name of another file or anything else in its place is removed, never opened.
    if (fstatat(at.parentFd, tempName.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 && !S_ISDIR(st.st_mode) &&
        (!S_ISREG(st.st_mode) || st.st_nlink > 1))
        unlinkat(at.parentFd, tempName.c_str(), 0);
    const int fd =
        openat(at.parentFd, tempName.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0644);
    if (fd < 0 || fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        const int error = fd < 0 ? errno : EEXIST;
        if (fd >= 0)
            close(fd);
        close(at.parentFd);
        return Refuse(Refusal::CannotCreate, error);
    }
    fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    file.folder_ = this;
    file.fd_ = fd;
    file.parentFd_ = at.parentFd;
    file.tempName_ = tempName;
    file.targetName_ = at.name;
    file.rel_ = at.rel;
    file.limit_ = declaredSize;
    file.replacedMode_ = replacedMode;
    tempsInUse_.insert(Join(dirRel, tempName));
    openFiles_.insert(&file);
    return {};
}

Outcome ExtractionFolder::PlaceSymlink(std::string_view rel, std::string_view linkText)
{
    if (linkText.empty() || linkText.find('\0') != std::string_view::npos || HasControlCharacter(linkText) ||
        !IsValidUtf8(linkText))
        return Refuse(Refusal::UnsafeName);
    if (linkText[0] == '/')
        return Refuse(Refusal::ThroughLink);
    const auto checked = CheckName(rel);
    if (!checked)
        return Refuse(NameRefusal(rel));

    // Judged on the names: the ".." parts all come first (one after a folder could climb out
    // through a link made earlier), and they climb no higher than the destination.
    std::vector<std::string> at = PathComponents(*checked);
    at.pop_back();
    bool climbing = true;
    std::vector<std::string> text;
    for (const auto& part : PathComponents(linkText)) {
        if (part == ".")
            continue;
        if (part == "..") {
            if (!climbing || at.empty())
                return Refuse(Refusal::ThroughLink);
            at.pop_back();
        } else {
            climbing = false;
        }
        text.push_back(part);
    }

    Resolved where;
    if (const Outcome outcome = ResolveParent(*checked, true, where); !outcome)
        return outcome;
    const auto slash = where.rel.rfind('/');
    const std::string dirRel = slash == std::string::npos ? std::string() : where.rel.substr(0, slash);

    // Judged on the disk: the longest part of the text that exists, resolved from the real
    // folder that will hold the link (links followed, at most 40 as the system allows, so a loop
    // ends in ELOOP), stays inside the real destination.
    const std::string holder = Join(root_, dirRel);
    for (size_t count = text.size() + 1; count-- > 0;) {
        std::string path = holder;
        for (size_t i = 0; i < count; ++i)
            path += "/" + text[i];
        char real[PATH_MAX];
        if (realpath(path.c_str(), real)) {
            const std::string resolved = real;
            if (resolved != root_ && resolved.compare(0, root_.size() + 1, root_ + "/") != 0) {
                close(where.parentFd);
                return Refuse(Refusal::ThroughLink);
            }
            break;
        }
        if (const int error = errno; error != ENOENT && error != ENOTDIR) {
            close(where.parentFd);
            // A loop of links counts as leading out; any other failure is the system's to explain.
            return error == ELOOP ? Refuse(Refusal::ThroughLink) : Refuse(Refusal::CannotCreate, error);
        }
    }

    struct stat st {};
    if (fstatat(where.parentFd, where.name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISDIR(st.st_mode)) {
        close(where.parentFd);
        return Refuse(Refusal::IsAFolder);
    }
    const std::string tempName = FreeTempName(dirRel, where.name);
    unlinkat(where.parentFd, tempName.c_str(), 0);
    Outcome outcome;
    if (symlinkat(std::string(linkText).c_str(), where.parentFd, tempName.c_str()) != 0) {
        outcome = Refuse(Refusal::CannotCreate, errno);
    } else if (renameat(where.parentFd, tempName.c_str(), where.parentFd, where.name.c_str()) != 0) {
        outcome = Refuse(Refusal::CannotPlace, errno);
        unlinkat(where.parentFd, tempName.c_str(), 0);
    } else {
        Remember(dirRel, where.name);
        // A file of this name committed earlier in the run would otherwise replace the later link.
        pending_.erase(std::remove_if(pending_.begin(), pending_.end(),
                                      [&](Pending& earlier) {
                                          if (earlier.rel != where.rel)
                                              return false;
                                          unlinkat(earlier.parentFd, earlier.tempName.c_str(), 0);
                                          close(earlier.parentFd);
                                          tempsInUse_.erase(Join(dirRel, earlier.tempName));
                                          return true;
                                      }),
                       pending_.end());
    }
    close(where.parentFd);
    return outcome;
}

int ExtractionFolder::OpenForReading(std::string_view rel)
{
    Resolved at;
    if (!ResolveParent(rel, false, at))
        return -1;
    int fd = -1;
    const auto latest =
        std::find_if(pending_.rbegin(), pending_.rend(), [&](const Pending& pending) { return pending.rel == at.rel; });
    if (latest != pending_.rend())
        fd = openat(latest->parentFd, latest->tempName.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
    else
        fd = openat(at.parentFd, at.name.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    close(at.parentFd);
    struct stat st {};
    if (fd >= 0 && (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode))) {
        close(fd);
        return -1;
    }
    if (fd >= 0)
        fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    return fd;
}

std::vector<std::pair<std::string, Outcome>> ExtractionFolder::Finish()
{
    std::vector<std::pair<std::string, Outcome>> failed;
    if (pending_.empty())
        return failed;
    std::vector<Pending> pending;
    pending.swap(pending_);

    std::vector<bool> flushed(pending.size(), false);
    std::vector<dev_t> synced;
    bool allSynced = pending.size() > kFlushedOneByOne;
    for (size_t i = 0; allSynced && i < pending.size(); ++i) {
        struct stat st {};
        if (fstat(pending[i].parentFd, &st) != 0) {
            allSynced = false;
            break;
        }
        if (std::find(synced.begin(), synced.end(), st.st_dev) != synced.end())
            continue;
        if (syncfs(pending[i].parentFd) != 0)
            allSynced = false;
        synced.push_back(st.st_dev);
    }
    for (size_t i = 0; i < pending.size(); ++i) {
        const auto& member = pending[i];
        Outcome outcome;
        if (!allSynced) {
            const int fd = openat(member.parentFd, member.tempName.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
            if (fd < 0 || !FlushToDisk(fd))
                outcome = Refuse(Refusal::CannotFlush, errno);
            if (fd >= 0)
                close(fd);
        }
        if (outcome &&
            renameat(member.parentFd, member.tempName.c_str(), member.parentFd, member.targetName.c_str()) != 0)
            outcome = Refuse(Refusal::CannotPlace, errno);
        if (!outcome) {
            unlinkat(member.parentFd, member.tempName.c_str(), 0);
            failed.emplace_back(member.rel, outcome);
        }
        flushed[i] = bool(outcome);
        const auto slash = member.rel.rfind('/');
        tempsInUse_.erase(
            Join(slash == std::string::npos ? std::string() : member.rel.substr(0, slash), member.tempName));
    }

    // The new names reach the disk with their folders.
    std::vector<std::pair<dev_t, ino_t>> folders;
    for (size_t i = 0; i < pending.size(); ++i) {
        const auto& member = pending[i];
        struct stat st {};
        if (flushed[i] && fstat(member.parentFd, &st) == 0 &&
            std::find(folders.begin(), folders.end(), std::make_pair(st.st_dev, st.st_ino)) == folders.end()) {
            folders.emplace_back(st.st_dev, st.st_ino);
            if (!FlushToDisk(member.parentFd)) {
                const int error = errno;
                for (size_t j = i; j < pending.size(); ++j) {
                    struct stat other {};
                    if (flushed[j] && fstat(pending[j].parentFd, &other) == 0 && other.st_dev == st.st_dev &&
                        other.st_ino == st.st_ino)
                        failed.emplace_back(pending[j].rel, Refuse(Refusal::CannotFlush, error));
                }
            }
        }
    }
    for (auto& member : pending)
        CloseFd(member.parentFd);
    return failed;
}

void ExtractionFolder::RemoveStaleParts()
{
    const std::time_t cutoff = std::time(nullptr) - kStaleAfterSeconds;
    struct Level {
        DIR* dir;
        int depth;
    };
    std::vector<Level> stack;
    const int first = fcntl(rootFd_, F_DUPFD_CLOEXEC, 0);
    if (DIR* dir = first >= 0 ? fdopendir(first) : nullptr)
        stack.push_back({dir, 0});
    else if (first >= 0)
        close(first);
    while (!stack.empty()) {
        const Level level = stack.back();
        const dirent* entry = readdir(level.dir);
        if (!entry) {
            closedir(level.dir);
            stack.pop_back();
            continue;
        }
        const std::string name = entry->d_name;
        if (name == "." || name == "..")
            continue;
        const int dirFd = dirfd(level.dir);
        if (EndsWith(name, kPartSuffix)) {
            struct stat st {};
            if (fstatat(dirFd, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 &&
                (S_ISREG(st.st_mode) || S_ISLNK(st.st_mode)) && st.st_mtime < cutoff)
                unlinkat(dirFd, name.c_str(), 0);
            continue;
        }
        if (entry->d_type != DT_DIR && entry->d_type != DT_UNKNOWN)
            continue;
        if (level.depth >= kMaxDepth)
            continue;
        const int sub = openat(dirFd, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        if (DIR* dir = sub >= 0 ? fdopendir(sub) : nullptr)
            stack.push_back({dir, level.depth + 1});
        else if (sub >= 0)
            close(sub);
    }
}

}  // namespace base
