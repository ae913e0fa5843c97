#include "base/MemberWriter.h"
#include "support/TempDir.h"
#include "support/FileSizeLimit.h"

#include <gtest/gtest.h>

#include <csignal>
#include <ctime>
#include <filesystem>
#include <sys/resource.h>
#include <fcntl.h>
#include <sys/stat.h>

namespace fs = std::filesystem;
using base::MemberStamp;
using base::MemberWriter;
using base::MemberWriteResult;

namespace {

// Everything in a folder except the files a test made on purpose: left-over temporary files.
std::vector<std::string> Leftovers(const std::string& folder, const std::vector<std::string>& expected)
{
    std::vector<std::string> found;
    for (const auto& e : fs::directory_iterator(folder)) {
        const std::string name = e.path().filename().string();
        if (std::find(expected.begin(), expected.end(), name) == expected.end())
            found.push_back(name);
    }
    return found;
}

mode_t ModeOf(const std::string& path)
{
    struct stat st {};
    stat(path.c_str(), &st);
    return st.st_mode & 07777;
}

std::time_t MTimeOf(const std::string& path)
{
    struct stat st {};
    stat(path.c_str(), &st);
    return st.st_mtime;
}

mode_t CurrentUmask()
{
    const mode_t m = umask(0);
    umask(m);
    return m;
}

MemberWriteResult WriteWhole(const std::string& target, const std::string& bytes, const MemberStamp& stamp = {})
{
    MemberWriter out;
    if (auto r = out.Open(target); r != MemberWriteResult::Ok)
        return r;
    if (auto r = out.Write(bytes.data(), bytes.size()); r != MemberWriteResult::Ok)
        return r;
    return out.Commit(stamp);
}

const std::time_t kMemberTime = 1700000000;  // 2023-11-14

}  // namespace

TEST(MemberWriter, CommitReplacesTheTargetWithTheMembersTime)
{
    TempDir tmp;
    TempDir::Write(tmp / "turn.bte", "old contents");
    fs::permissions(tmp / "turn.bte", fs::perms::owner_read | fs::perms::owner_write);

    ASSERT_EQ(WriteWhole(tmp / "turn.bte", "new", {kMemberTime, std::nullopt}), MemberWriteResult::Ok);
    EXPECT_EQ(TempDir::Read(tmp / "turn.bte"), "new");
    EXPECT_EQ(MTimeOf(tmp / "turn.bte"), kMemberTime);
    EXPECT_EQ(ModeOf(tmp / "turn.bte"), 0600u);  // a replaced file keeps its permissions
    EXPECT_EQ(Leftovers(tmp.path(), {"turn.bte"}), std::vector<std::string> {});
}

TEST(MemberWriter, NewFilesTakeTheMembersModeOrTheUsualOne)
{
    TempDir tmp;
    ASSERT_EQ(WriteWhole(tmp / "plain.bte", "x"), MemberWriteResult::Ok);
    EXPECT_EQ(ModeOf(tmp / "plain.bte"), 0644u & ~CurrentUmask());

    ASSERT_EQ(WriteWhole(tmp / "run.sh", "x", {std::nullopt, 0755}), MemberWriteResult::Ok);
    EXPECT_EQ(ModeOf(tmp / "run.sh"), 0755u);
    // An archive cannot hand out set-user-id or sticky bits.
    ASSERT_EQ(WriteWhole(tmp / "suid", "x", {std::nullopt, 04755}), MemberWriteResult::Ok);
    EXPECT_EQ(ModeOf(tmp / "suid"), 0755u);
    // Without a stored time the file keeps the time it was written.
    EXPECT_GT(MTimeOf(tmp / "plain.bte"), kMemberTime);
}

TEST(MemberWriter, NothingChangesUntilCommitAndDiscardLeavesNoTrace)
{
    TempDir tmp;
    TempDir::Write(tmp / "turn.bte", "old contents");
    {
        MemberWriter out;
        ASSERT_EQ(out.Open(tmp / "turn.bte"), MemberWriteResult::Ok);
        ASSERT_EQ(out.Write("new", 3), MemberWriteResult::Ok);
        EXPECT_EQ(TempDir::Read(tmp / "turn.bte"), "old contents");
        out.Discard();
        EXPECT_EQ(Leftovers(tmp.path(), {"turn.bte"}), std::vector<std::string> {});
        // A writer given up without Commit (a checksum that did not match) discards as well.
        ASSERT_EQ(out.Open(tmp / "fresh.bte"), MemberWriteResult::Ok);
        ASSERT_EQ(out.Write("new", 3), MemberWriteResult::Ok);
    }
    EXPECT_EQ(TempDir::Read(tmp / "turn.bte"), "old contents");
    EXPECT_EQ(Leftovers(tmp.path(), {"turn.bte"}), std::vector<std::string> {});
}

TEST(MemberWriter, AFailedWriteLeavesTheOldFileByteForByte)
{
    TempDir tmp;
    const std::string old(3000, 'o');
    TempDir::Write(tmp / "turn.bte", old);
    const std::string member(64 * 1024, 'n');
    {
        FileSizeLimit limit(4096);
        EXPECT_EQ(WriteWhole(tmp / "turn.bte", member), MemberWriteResult::CannotWrite);
    }
    EXPECT_EQ(TempDir::Read(tmp / "turn.bte"), old);
    EXPECT_EQ(Leftovers(tmp.path(), {"turn.bte"}), std::vector<std::string> {});
}

TEST(MemberWriter, FoldersAreNeverReplaced)
{
    TempDir tmp;
    fs::create_directories(tmp / "saves/inner");
    EXPECT_EQ(WriteWhole(tmp / "saves", "x"), MemberWriteResult::CannotCreate);
    EXPECT_EQ(WriteWhole(tmp / "missing/turn.bte", "x"), MemberWriteResult::CannotCreate);

    // A folder that appears at the target while the member is written stays as it is.
    MemberWriter out;
    ASSERT_EQ(out.Open(tmp / "late"), MemberWriteResult::Ok);
    ASSERT_EQ(out.Write("x", 1), MemberWriteResult::Ok);
    fs::create_directories(tmp / "late/inner");
    EXPECT_EQ(out.Commit(), MemberWriteResult::CannotPlace);
    EXPECT_TRUE(fs::is_directory(tmp / "late/inner"));
    EXPECT_EQ(Leftovers(tmp.path(), {"saves", "late"}), std::vector<std::string> {});
}

TEST(MemberWriter, ASymlinkAtTheTargetIsReplacedNotWrittenThrough)
{
    TempDir tmp;
    TempDir::Write(tmp / "outside/keep.txt", "outside");
    fs::create_directories(tmp / "dest");
    fs::create_symlink(tmp / "outside/keep.txt", tmp / "dest/turn.bte");

    ASSERT_EQ(WriteWhole(tmp / "dest/turn.bte", "member"), MemberWriteResult::Ok);
    EXPECT_FALSE(fs::is_symlink(tmp / "dest/turn.bte"));
    EXPECT_EQ(TempDir::Read(tmp / "dest/turn.bte"), "member");
    EXPECT_EQ(TempDir::Read(tmp / "outside/keep.txt"), "outside");
}

TEST(MemberWriter, AbandonedRewriteTemporariesGoWhenOldEnough)
{
    TempDir tmp;
    const std::string stale = tmp / ".turnex-0123456789abcdef";
    const std::string fresh = tmp / ".turnex-fedcba9876543210";
    TempDir::Write(stale, "half a note");
    TempDir::Write(fresh, "a note being saved now");
    TempDir::Write(tmp / ".turnex-notes", "not one of ours");
    TempDir::Write(tmp / "user.dat", "notes");
    const struct timespec old[2] = {{std::time(nullptr) - 3600, 0}, {std::time(nullptr) - 3600, 0}};
    for (const std::string& name : {stale, tmp / ".turnex-notes", tmp / "user.dat"})
        utimensat(AT_FDCWD, name.c_str(), old, 0);
    EXPECT_EQ(base::RemoveAbandonedTemporaries(tmp.path(), 600), 1);
    EXPECT_FALSE(fs::exists(stale));
    for (const std::string& kept : {fresh, tmp / ".turnex-notes", tmp / "user.dat"})
        EXPECT_TRUE(fs::exists(kept)) << kept;
}
