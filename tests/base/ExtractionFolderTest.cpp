#include "base/ExtractionFolder.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <QDir>

#include <climits>
#include <csignal>
#include <ctime>
#include <filesystem>
#include <map>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace fs = std::filesystem;
using base::ExtractionFolder;
using base::MemberFile;
using base::Outcome;
using base::Refusal;

namespace {

// Every path below folder (links not followed) with its contents or link text.
std::map<std::string, std::string> Snapshot(const std::string& folder, const std::string& skip = {})
{
    std::map<std::string, std::string> found;
    for (auto it = fs::recursive_directory_iterator(folder); it != fs::recursive_directory_iterator(); ++it) {
        const std::string path = it->path().string();
        if (!skip.empty() && path.rfind(skip, 0) == 0) {
            it.disable_recursion_pending();
            continue;
        }
        if (it->is_symlink())
            found[path] = "-> " + fs::read_symlink(it->path()).string();
        else if (it->is_regular_file())
            found[path] = TempDir::Read(path);
        else
            found[path] = "folder";
    }
    return found;
}

Outcome Extract(ExtractionFolder& folder, const std::string& rel, const std::string& bytes,
                std::optional<uint64_t> declared = std::nullopt, const base::MemberStamp& stamp = {})
{
    MemberFile file;
    if (Outcome opened = folder.OpenFile(rel, declared ? *declared : bytes.size(), file); !opened)
        return opened;
    if (Outcome written = file.Write(bytes.data(), bytes.size()); !written)
        return written;
    return file.Commit(stamp);
}

// Passes on success, else fails with the text the player would read.
testing::AssertionResult Ok(const Outcome& outcome)
{
    if (outcome)
        return testing::AssertionSuccess();
    return testing::AssertionFailure() << base::Describe(outcome);
}

void Age(const std::string& path, std::time_t seconds)
{
    const struct timespec old[2] = {{std::time(nullptr) - seconds, 0}, {std::time(nullptr) - seconds, 0}};
    utimensat(AT_FDCWD, path.c_str(), old, AT_SYMLINK_NOFOLLOW);
}

}  // namespace

TEST(ExtractionFolder, NamesThatAreUnsafeOrTooLongOrTooDeepAreRefusedBeforeAnythingIsMade)
{
    for (const std::string& bad : std::vector<std::string> {
             "../x.bte", "/abs.bte", "c:x.bte", "new\nline.bte", "esc\x1b[31m.bte", "del\x7f.bte", "sub/tab\there.bte",
             "Turn07.bte.turnex-part", std::string(NAME_MAX + 1, 'n'), std::string("nul\0.bte", 8), "caf\xE9.bte",
             "sub\xC3/x.bte"})  // not UTF-8: another code page's name
        EXPECT_FALSE(ExtractionFolder::CheckName(bad).has_value()) << bad;
    EXPECT_EQ(ExtractionFolder::CheckName("./Maps\\x.bte").value(), "Maps/x.bte");
    EXPECT_EQ(ExtractionFolder::CheckName("Ärger é.bte").value(), "Ärger é.bte");

    std::string deepest;
    for (int i = 0; i < base::kMaxDepth; ++i)
        deepest += "d/";
    EXPECT_TRUE(ExtractionFolder::CheckName(deepest + "x").has_value());
    EXPECT_FALSE(ExtractionFolder::CheckName(deepest + "d/x").has_value());

    TempDir tmp;
    ExtractionFolder folder(tmp.path());
    std::string bomb;
    for (int i = 0; i < 2100; ++i)
        bomb += "d/";
    MemberFile file;
    EXPECT_EQ(folder.OpenFile(bomb + "x.bte", 1, file).refusal, Refusal::UnsafeName);
    EXPECT_EQ(folder.MakeFolder(bomb).refusal, Refusal::UnsafeName);
    EXPECT_EQ(folder.PlaceSymlink(bomb + "l", "x").refusal, Refusal::UnsafeName);
    // Short in folders, long in bytes: the whole path would pass what the system takes.
    std::string wide;
    for (int i = 0; i < 20; ++i)
        wide += std::string(250, 'w') + "/";
    EXPECT_EQ(folder.OpenFile(wide + "x.bte", 1, file).refusal, Refusal::UnsafeName);
    EXPECT_EQ(TempDir::Names(tmp.path()), std::vector<std::string> {});
    EXPECT_EQ(Describe(Outcome {Refusal::UnsafeName}),
              "its name is unsafe (it leads out of the folder, holds control characters, or is too long or too deep)");
}

TEST(ExtractionFolder, NothingIsWrittenThroughALinkNorPointsOutOfTheFolder)
{
    TempDir tmp;
    const std::string dest = tmp / "game";
    fs::create_directories(dest);
    fs::create_directories(tmp / "outside");
    TempDir::Write(tmp / "x", "outside file");
    fs::create_directory_symlink(tmp / "outside", dest + "/users-link");  // one the player made
    fs::create_symlink("loop", dest + "/loop");
    const auto parentBefore = Snapshot(tmp.path(), dest);
    const auto tmpBefore = TempDir::Names(QDir::tempPath().toStdString());
    {
        ExtractionFolder folder(dest);
        ASSERT_TRUE(folder.IsOpen());
        // The chain: "up" -> "." is harmless alone, but nothing may pass through it.
        ASSERT_TRUE(Ok(folder.PlaceSymlink("up", ".")));
        EXPECT_EQ(Extract(folder, "up/Turn07.bte", "turn").refusal, Refusal::ThroughLink);
        EXPECT_EQ(folder.PlaceSymlink("up/Turn07.bte", "../x").refusal, Refusal::ThroughLink);
        EXPECT_EQ(folder.MakeFolder("UP/maps").refusal, Refusal::ThroughLink);
        EXPECT_EQ(Extract(folder, "users-link/Turn07.bte", "turn").refusal, Refusal::ThroughLink);
        // Texts that leave the folder by their names, or by what they meet on the disk.
        EXPECT_EQ(folder.PlaceSymlink("l1", "../x").refusal, Refusal::ThroughLink);
        EXPECT_EQ(folder.PlaceSymlink("l2", (tmp / "x")).refusal, Refusal::ThroughLink);
        EXPECT_EQ(folder.PlaceSymlink("sub/l3", "a/../../x").refusal, Refusal::ThroughLink);
        EXPECT_EQ(folder.PlaceSymlink("l4", "users-link/y").refusal, Refusal::ThroughLink);
        EXPECT_EQ(folder.PlaceSymlink("l5", "up/up/up/../x").refusal, Refusal::ThroughLink);
        EXPECT_EQ(folder.PlaceSymlink("l6", "loop/x").refusal, Refusal::ThroughLink);
        EXPECT_EQ(folder.PlaceSymlink("l7", "x\ny").refusal, Refusal::UnsafeName);
        // Inside it stays allowed, replacing a file or link of its name but never a folder.
        ASSERT_TRUE(Ok(folder.MakeFolder("maps/old")));
        TempDir::Write(dest + "/maps/Turn07.bte", "turn");
        EXPECT_TRUE(Ok(folder.PlaceSymlink("maps/current", "../maps/Turn07.bte")));
        EXPECT_TRUE(Ok(folder.PlaceSymlink("maps/current", "Turn07.bte")));
        EXPECT_EQ(folder.PlaceSymlink("maps/old", "Turn07.bte").refusal, Refusal::IsAFolder);
        EXPECT_TRUE(Ok(folder.PlaceSymlink("maps/later", "not/there/yet")));
        // A ".." after a folder could climb out through a link that folder turns out to be.
        EXPECT_EQ(folder.PlaceSymlink("maps/l8", "old/../Turn07.bte").refusal, Refusal::ThroughLink);
        EXPECT_TRUE(folder.Finish().empty());
    }
    EXPECT_EQ(fs::read_symlink(dest + "/maps/current"), "Turn07.bte");
    EXPECT_EQ(TempDir::Names(dest), (std::vector<std::string> {"loop", "maps", "up", "users-link"}));
    EXPECT_EQ(TempDir::Names(dest + "/maps"), (std::vector<std::string> {"Turn07.bte", "current", "later", "old"}));
    EXPECT_EQ(Snapshot(tmp.path(), dest), parentBefore);
    std::vector<std::string> tmpAfter = TempDir::Names(QDir::tempPath().toStdString());
    for (const std::string name : {"x", "y", "Turn07.bte", "maps"})
        EXPECT_EQ(std::count(tmpAfter.begin(), tmpAfter.end(), name),
                  std::count(tmpBefore.begin(), tmpBefore.end(), name))
            << name;
}

TEST(ExtractionFolder, MembersTakeTheSpellingOfWhatMatchesInAnotherLetterCase)
{
    TempDir tmp;
    TempDir::Write(tmp / "Turn07.bte", "stale turn");
    TempDir::Write(tmp / "Maps/Ärger.map", "old map");
    {
        ExtractionFolder folder(tmp.path());
        EXPECT_TRUE(Ok(Extract(folder, "TURN07.BTE", "fresh turn")));
        EXPECT_TRUE(Ok(Extract(folder, "MAPS/äRGER.MAP", "new map")));
        EXPECT_TRUE(Ok(folder.MakeFolder("maps/Sub")));
        // Members of the same run find each other the same way.
        EXPECT_TRUE(Ok(Extract(folder, "New/a.bte", "a")));
        EXPECT_TRUE(Ok(Extract(folder, "NEW/b.bte", "b")));
        EXPECT_TRUE(Ok(Extract(folder, "new/A.BTE", "second a")));
        EXPECT_TRUE(Ok(Extract(folder, "MAPS/SUB/c.bte", "c")));
        EXPECT_TRUE(folder.Finish().empty());
    }
    EXPECT_EQ(TempDir::Names(tmp.path()), (std::vector<std::string> {"Maps", "New", "Turn07.bte"}));
    EXPECT_EQ(TempDir::Read(tmp / "Turn07.bte"), "fresh turn");
    EXPECT_EQ(TempDir::Names(tmp / "Maps"), (std::vector<std::string> {"Sub", "Ärger.map"}));
    EXPECT_EQ(TempDir::Read(tmp / "Maps/Ärger.map"), "new map");
    EXPECT_EQ(TempDir::Read(tmp / "Maps/Sub/c.bte"), "c");
    EXPECT_EQ(TempDir::Names(tmp / "New"), (std::vector<std::string> {"a.bte", "b.bte"}));
    EXPECT_EQ(TempDir::Read(tmp / "New/a.bte"), "second a");

    // Where the disk tells the two apart, the exact name is the one written.
    TempDir::Write(tmp / "TURN07.BTE", "second spelling");
    {
        ExtractionFolder folder(tmp.path());
        EXPECT_TRUE(Ok(Extract(folder, "TURN07.BTE", "exact")));
    }
    EXPECT_EQ(TempDir::Read(tmp / "Turn07.bte"), "fresh turn");
    EXPECT_EQ(TempDir::Read(tmp / "TURN07.BTE"), "exact");
}

TEST(ExtractionFolder, OversizedAndGrowingMembersAreRefusedAndTheOldFileStays)
{
    TempDir tmp;
    TempDir::Write(tmp / "Turn07.bte", "the good turn");
    TempDir::Write(tmp / "Folder/keep", "");
    ExtractionFolder folder(tmp.path());
    MemberFile file;
    const Outcome huge = folder.OpenFile("Turn07.bte", uint64_t {2} << 30, file);
    EXPECT_EQ(huge.refusal, Refusal::TooLarge);
    EXPECT_EQ(Describe(huge), "it declares 2.0 GB, more than the 1.0 GB a member may hold");

    ASSERT_TRUE(Ok(folder.OpenFile("Turn07.bte", 10, file)));
    EXPECT_TRUE(Ok(file.Write("0123456789", 10)));
    const Outcome grew = file.Write("!", 1);
    EXPECT_EQ(grew.refusal, Refusal::GrewPastSize);
    EXPECT_EQ(Describe(grew), "it grew past the 10 bytes it declares; the archive is damaged or forged");
    EXPECT_EQ(file.Commit().refusal, Refusal::GrewPastSize);

    // Failing and discarded members, and one left uncommitted, leave the good file as it was.
    ASSERT_TRUE(Ok(folder.OpenFile("Turn07.bte", 3, file)));
    EXPECT_TRUE(Ok(file.Write("new", 3)));
    file.Discard();
    {
        MemberFile abandoned;
        ASSERT_TRUE(Ok(folder.OpenFile("Turn07.bte", 3, abandoned)));
        EXPECT_TRUE(abandoned.Write("new", 3));
    }
    EXPECT_EQ(Extract(folder, "Turn07.bte/x", "x").refusal, Refusal::NotAFolder);
    EXPECT_EQ(Extract(folder, "folder", "x").refusal, Refusal::IsAFolder);
    EXPECT_TRUE(folder.Finish().empty());
    EXPECT_EQ(TempDir::Names(tmp.path()), (std::vector<std::string> {"Folder", "Turn07.bte"}));
    EXPECT_EQ(TempDir::Read(tmp / "Turn07.bte"), "the good turn");
}

TEST(ExtractionFolder, AMemberThatCannotFitIsRefusedBeforeItIsWritten)
{
    if (geteuid() != 0)
        GTEST_SKIP() << "mounting a small tmpfs to fill needs root";
    TempDir tmp;
    const std::string small = tmp / "small";
    fs::create_directories(small);
    if (mount("tmpfs", small.c_str(), "tmpfs", 0, "size=256k") != 0)
        GTEST_SKIP() << "this system does not let even root mount a tmpfs: " << std::strerror(errno);
    struct Unmount {
        std::string path;
        ~Unmount() { umount(path.c_str()); }
    } unmount {small};
    TempDir::Write(small + "/Turn07.bte", "the good turn");
    {
        ExtractionFolder folder(small);
        MemberFile file;
        const Outcome refused = folder.OpenFile("Turn07.bte", uint64_t {1} << 20, file);
        EXPECT_EQ(refused.refusal, Refusal::NoSpace);
        EXPECT_EQ(Describe(refused).rfind("it declares 1.0 MB; the disk has ", 0), 0u) << Describe(refused);
        EXPECT_FALSE(file.IsOpen());

        // A member that declares nothing meets the full disk while writing.
        ASSERT_TRUE(Ok(folder.OpenFile("Turn07.bte", std::nullopt, file)));
        const std::string block(64 * 1024, 'b');
        Outcome written;
        for (int i = 0; i < 8 && written; ++i)
            written = file.Write(block.data(), block.size());
        EXPECT_EQ(written.refusal, Refusal::CannotWrite);
        EXPECT_EQ(Describe(written), std::string("it could not be written: ") + std::strerror(ENOSPC));
        EXPECT_TRUE(folder.Finish().empty());
    }
    EXPECT_EQ(TempDir::Names(small), std::vector<std::string> {"Turn07.bte"});
    EXPECT_EQ(TempDir::Read(small + "/Turn07.bte"), "the good turn");
}

TEST(ExtractionFolder, FinishPlacesMembersInCommitOrderWithTheirStamps)
{
    TempDir tmp;
    TempDir::Write(tmp / "private.bte", "old");
    chmod((tmp / "private.bte").c_str(), 0600);
    ExtractionFolder folder(tmp.path());
    EXPECT_TRUE(Ok(Extract(folder, "Turn07.bte", "first")));
    EXPECT_TRUE(Ok(Extract(folder, "Turn07.bte", "last")));
    EXPECT_TRUE(Ok(Extract(folder, "private.bte", "new")));
    EXPECT_TRUE(Ok(Extract(folder, "stamped.bte", "s", std::nullopt, {std::time_t {1000000000}, mode_t {0640}})));
    // Until Finish the targets are untouched, and a later member reads the pending copy.
    EXPECT_FALSE(fs::exists(tmp / "Turn07.bte"));
    const int pending = folder.OpenForReading("TURN07.bte");
    ASSERT_GE(pending, 0);
    char bytes[8] = {};
    EXPECT_EQ(read(pending, bytes, sizeof bytes), 4);
    close(pending);
    EXPECT_EQ(std::string(bytes), "last");

    // A folder that took a pending file's name makes that one member fail, and only it.
    EXPECT_TRUE(Ok(Extract(folder, "blocked", "b")));
    ASSERT_TRUE(Ok(folder.MakeFolder("blocked")));
    const auto failed = folder.Finish();
    ASSERT_EQ(failed.size(), 1u);
    EXPECT_EQ(failed[0].first, "blocked");
    EXPECT_EQ(failed[0].second.refusal, Refusal::CannotPlace);

    EXPECT_EQ(TempDir::Names(tmp.path()),
              (std::vector<std::string> {"Turn07.bte", "blocked", "private.bte", "stamped.bte"}));
    EXPECT_EQ(TempDir::Read(tmp / "Turn07.bte"), "last");
    struct stat st {};
    stat((tmp / "private.bte").c_str(), &st);
    EXPECT_EQ(st.st_mode & 07777, 0600u);
    stat((tmp / "stamped.bte").c_str(), &st);
    EXPECT_EQ(st.st_mode & 07777, 0640u);
    EXPECT_EQ(st.st_mtime, 1000000000);

    fs::create_symlink("Turn07.bte", tmp / "link.bte");
    EXPECT_EQ(folder.OpenForReading("link.bte"), -1);
    EXPECT_EQ(folder.OpenForReading("missing/x.bte"), -1);
    const int placed = folder.OpenForReading("turn07.BTE");
    EXPECT_GE(placed, 0);
    close(placed);
}

TEST(ExtractionFolder, LeftoversOfKilledRunsAreWrittenOverOrRemovedOnceStale)
{
    TempDir tmp;
    const std::string game = tmp / "game";
    TempDir::Write(game + "/Turn07.bte", "the good turn");
    TempDir::Write(tmp / "outside.bte", "not to be touched");
    // A run killed in the middle of a member.
    const pid_t child = fork();
    if (child == 0) {
        ExtractionFolder folder(game);
        MemberFile file;
        folder.OpenFile("Turn07.bte", 100, file);
        file.Write("half a t", 8);
        kill(getpid(), SIGKILL);
    }
    int status = 0;
    waitpid(child, &status, 0);
    ASSERT_TRUE(WIFSIGNALED(status));
    EXPECT_EQ(TempDir::Read(game + "/Turn07.bte.turnex-part"), "half a t");
    EXPECT_EQ(TempDir::Read(game + "/Turn07.bte"), "the good turn");
    // A leftover that is a link is removed, never written through.
    fs::create_symlink(tmp / "outside.bte", game + "/Maps.bte.turnex-part");
    {
        ExtractionFolder folder(game);
        EXPECT_TRUE(Ok(Extract(folder, "Turn07.bte", "whole")));
        EXPECT_TRUE(Ok(Extract(folder, "Maps.bte", "map")));
    }
    EXPECT_EQ(TempDir::Names(game), (std::vector<std::string> {"Maps.bte", "Turn07.bte"}));
    EXPECT_EQ(TempDir::Read(game + "/Turn07.bte"), "whole");
    EXPECT_EQ(TempDir::Read(tmp / "outside.bte"), "not to be touched");

    // Left by a run of another archive: removed after a day, in every folder below, not beyond links.
    const std::string stale = game + "/Other.bte.turnex-part";
    const std::string staleBelow = game + "/a/b/x.bte.turnex-part";
    const std::string fresh = game + "/Fresh.bte.turnex-part";
    const std::string oldMember = game + "/Old.bte";
    const std::string beyondLink = tmp / "outside/y.bte.turnex-part";
    for (const std::string& path : {stale, staleBelow, fresh, oldMember, beyondLink})
        TempDir::Write(path, "x");
    fs::create_directory_symlink(tmp / "outside", game + "/link");
    for (const std::string& path : {stale, staleBelow, oldMember, beyondLink})
        Age(path, 25 * 3600);
    Age(fresh, 23 * 3600);
    ExtractionFolder folder(game);
    EXPECT_FALSE(fs::exists(stale));
    EXPECT_FALSE(fs::exists(staleBelow));
    for (const std::string& kept : {fresh, oldMember, beyondLink})
        EXPECT_TRUE(fs::exists(kept)) << kept;
}

TEST(ExtractionFolder, TemporaryNamesStayWithinWhatAFileNameMayBe)
{
    TempDir tmp;
    const std::string longName = std::string(NAME_MAX - 4, 'l') + ".bte";
    ExtractionFolder folder(tmp.path());
    MemberFile first;
    MemberFile second;
    ASSERT_TRUE(Ok(folder.OpenFile(longName, 1, first)));
    ASSERT_TRUE(Ok(folder.OpenFile(longName, 1, second)));
    std::vector<std::string> parts = TempDir::Names(tmp.path());
    ASSERT_EQ(parts.size(), 2u);
    for (const auto& part : parts) {
        EXPECT_LE(part.size(), size_t {NAME_MAX});
        EXPECT_TRUE(part.ends_with(base::kPartSuffix)) << part;
    }
    EXPECT_TRUE(Ok(first.Write("1", 1)));
    EXPECT_TRUE(Ok(second.Write("2", 1)));
    EXPECT_TRUE(Ok(first.Commit()));
    EXPECT_TRUE(Ok(second.Commit()));
    EXPECT_TRUE(folder.Finish().empty());
    EXPECT_EQ(TempDir::Names(tmp.path()), std::vector<std::string> {longName});
    EXPECT_EQ(TempDir::Read(tmp / longName), "2");
}
