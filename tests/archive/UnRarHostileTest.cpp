// libunrar.so against archives made to harm the player, in both layouts, written byte by byte:
// link chains out of the game folder, names in another letter case, members that declare or grow
// to absurd sizes, control characters and deep names, and a run killed halfway. Whatever is
// refused leaves a good file of its name as it was, and nothing appears outside the destination.
#include "support/TempDir.h"

#include "RarBytes.h"
#include "base/ExtractionFolder.h"
#include "turnex/unrar.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstring>
#include <filesystem>
#include <map>
#include <optional>
#include <sys/mount.h>
#include <sys/statvfs.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

using rarbytes::Entry;
using rarbytes::File;

// One RAR layout, with its own way of storing a symlink.
struct Layout {
    const char* name;
    std::string (*archive)(const std::vector<Entry>&, unsigned);
    Entry (*link)(const std::string& name, const std::string& target);
};

Entry Link5(const std::string& name, const std::string& target) { return rarbytes::Redirect5(name, 1, target); }

const Layout kLayouts[] = {{"rar4", rarbytes::Rar4, rarbytes::Symlink4}, {"rar5", rarbytes::Rar5, Link5}};

Entry Declaring(Entry e, uint64_t size)
{
    e.declaredSize = size;
    return e;
}

struct Result {
    std::string name;  // as the header gives it (cut to the field)
    int code = -1;
    std::string refusal;  // what RARGetLastRefusal says after the call
};

std::string LastRefusal(void* handle)
{
    char name[4096], reason[1024];
    return RARGetLastRefusal(handle, name, sizeof name, reason, sizeof reason) > 0 ? reason : "";
}

// Every member extracted in order; the last result is the header read that ended the walk.
std::vector<Result> Extract(const std::string& archive, const std::string& dest)
{
    RAROpenArchiveData open {};
    open.ArcName = const_cast<char*>(archive.c_str());
    open.OpenMode = RAR_OM_EXTRACT;
    void* handle = RAROpenArchive(&open);
    if (!handle)
        return {{"(open)", static_cast<int>(open.OpenResult), ""}};
    std::vector<Result> results;
    RARHeaderData header {};
    int read;
    while ((read = RARReadHeader(handle, &header)) == ERAR_SUCCESS) {
        const int code = RARProcessFile(handle, RAR_EXTRACT, const_cast<char*>(dest.c_str()), nullptr);
        results.push_back({header.FileName, code, LastRefusal(handle)});
    }
    results.push_back({"(read)", read, LastRefusal(handle)});
    RARCloseArchive(handle);
    return results;
}

std::string Refused(base::Refusal refusal, uint64_t size = 0, uint64_t available = 0)
{
    base::Outcome outcome {refusal};
    outcome.size = size;
    outcome.available = available;
    return base::Describe(outcome);
}

// Every entry below root (links not followed), with the bytes of each file and the text of each
// link; skip leaves out one folder's contents.
std::map<std::string, std::string> Snapshot(const fs::path& root, const fs::path& skip = {})
{
    std::map<std::string, std::string> seen;
    for (auto it = fs::recursive_directory_iterator(root); it != fs::recursive_directory_iterator(); ++it) {
        const fs::path& path = it->path();
        const auto status = fs::symlink_status(path);
        std::string& what = seen[fs::relative(path, root).string()];
        if (fs::is_symlink(status))
            what = "link -> " + fs::read_symlink(path).string();
        else if (fs::is_regular_file(status))
            what = "file " + TempDir::Read(path);
        else
            what = "folder";
        if (path == skip)
            it.disable_recursion_pending();
    }
    return seen;
}

std::vector<std::string> PartFiles(const fs::path& root)
{
    std::vector<std::string> parts;
    for (const auto& e : fs::recursive_directory_iterator(root))
        if (e.path().filename().string().ends_with(base::kPartSuffix))
            parts.push_back(e.path().string());
    return parts;
}

// A game folder inside a parent folder, with $TMPDIR pointed at a folder of the test's own, so
// that both can be compared before and after without other programs' files in the way.
class Sandbox {
public:
    Sandbox()
    {
        if (const char* old = std::getenv("TMPDIR"))
            oldTmp_ = old;
        fs::create_directories(tmp());
        fs::create_directories(game());
        setenv("TMPDIR", tmp().c_str(), 1);
    }
    ~Sandbox()
    {
        if (oldTmp_)
            setenv("TMPDIR", oldTmp_->c_str(), 1);
        else
            unsetenv("TMPDIR");
    }
    fs::path parent() const { return fs::path(root_.path()) / "parent"; }
    fs::path game() const { return parent() / "game"; }
    fs::path tmp() const { return fs::path(root_.path()) / "tmp"; }
    std::string Archive(const std::string& name, const std::string& bytes) const
    {
        TempDir::Write(parent() / name, bytes);
        return parent() / name;
    }
    // Call once everything of the test's own is in place.
    void Remember()
    {
        outside_ = Snapshot(parent(), game());
        temporary_ = Snapshot(tmp());
    }
    void ExpectNothingOutside() const
    {
        EXPECT_EQ(Snapshot(parent(), game()), outside_);
        EXPECT_EQ(Snapshot(tmp()), temporary_);
    }

private:
    TempDir root_;
    std::optional<std::string> oldTmp_;
    std::map<std::string, std::string> outside_, temporary_;
};

const std::string kGoodTurn = "good turn of the player\r\n";

}  // namespace

TEST(UnRarHostile, LinkChainCannotCarryAMemberOutOfTheGameFolder)
{
    for (const auto& layout : kLayouts) {
        SCOPED_TRACE(layout.name);
        Sandbox box;
        TempDir::Write(box.game() / "Turn07.bte", kGoodTurn);
        const std::string archive = box.Archive(
            "turn07.rar",
            layout.archive({layout.link("up", "."), layout.link("up/Turn07.bte", "../x"),
                            File("up/Turn07.bte", "forged turn"), File("maps/Island.map", "map"),
                            layout.link("latest.bte", "Turn07.bte"), layout.link("maps/home.bte", "../Turn07.bte")},
                           0));
        box.Remember();
        const auto r = Extract(archive, box.game());
        ASSERT_EQ(r.size(), 7u);
        // A link whose target stays inside is made, even one to the folder itself.
        EXPECT_EQ(r[0].code, ERAR_SUCCESS);
        EXPECT_EQ(fs::read_symlink(box.game() / "up"), ".");
        // Through it, "up/Turn07.bte" would be the game's own turn file, pointing out of the folder.
        for (int i : {1, 2}) {
            EXPECT_EQ(r[i].name, "up/Turn07.bte");
            EXPECT_EQ(r[i].code, ERAR_ECREATE);
            EXPECT_EQ(r[i].refusal, Refused(base::Refusal::ThroughLink));
        }
        for (int i : {3, 4, 5}) {
            EXPECT_EQ(r[i].code, ERAR_SUCCESS) << r[i].name;
            EXPECT_EQ(r[i].refusal, "");
        }
        EXPECT_EQ(r[6].code, ERAR_END_ARCHIVE);
        EXPECT_FALSE(fs::is_symlink(box.game() / "Turn07.bte"));
        EXPECT_EQ(TempDir::Read(box.game() / "Turn07.bte"), kGoodTurn);
        EXPECT_EQ(TempDir::Read(box.game() / "latest.bte"), kGoodTurn);
        EXPECT_EQ(TempDir::Read(box.game() / "maps/home.bte"), kGoodTurn);
        EXPECT_EQ(TempDir::Names(box.game()), (std::vector<std::string> {"Turn07.bte", "latest.bte", "maps", "up"}));
        box.ExpectNothingOutside();
    }
}

TEST(UnRarHostile, NamesInAnotherLetterCaseTakeTheSpellingAlreadyThere)
{
    for (const auto& layout : kLayouts) {
        SCOPED_TRACE(layout.name);
        Sandbox box;
        TempDir::Write(box.game() / "Turn07.bte", kGoodTurn);
        TempDir::Write(box.game() / "Maps/Old.map", "old map");
        const std::string archive =
            box.Archive("turn07.rar", layout.archive({File("TURN07.BTE", "new turn"), File("MAPS/Island.map", "map"),
                                                      File("maps/ISLAND.MAP", "second map")},
                                                     0));
        box.Remember();
        const auto r = Extract(archive, box.game());
        for (const auto& result : r)
            EXPECT_EQ(result.code, result.name == "(read)" ? ERAR_END_ARCHIVE : ERAR_SUCCESS) << result.name;
        // As Wine finds them: one turn file, one map folder, and a later member matching an
        // earlier one of the same archive replaces it.
        EXPECT_EQ(TempDir::Names(box.game()), (std::vector<std::string> {"Maps", "Turn07.bte"}));
        EXPECT_EQ(TempDir::Read(box.game() / "Turn07.bte"), "new turn");
        EXPECT_EQ(TempDir::Names(box.game() / "Maps"), (std::vector<std::string> {"Island.map", "Old.map"}));
        EXPECT_EQ(TempDir::Read(box.game() / "Maps/Island.map"), "second map");
        box.ExpectNothingOutside();
    }
}

TEST(UnRarHostile, MembersDeclaringMoreThanAGibibyteAreRefusedBeforeWriting)
{
    const uint64_t fiveGiB = uint64_t {5} << 30;
    for (const auto& layout : kLayouts) {
        SCOPED_TRACE(layout.name);
        Sandbox box;
        TempDir::Write(box.game() / "Turn07.bte", kGoodTurn);
        const std::string archive =
            box.Archive("bomb.rar", layout.archive({Declaring(File("Turn07.bte", "tiny"), fiveGiB),
                                                    Declaring(File("Big.bte", "tiny"), base::kMaxMemberSize + 1),
                                                    File("Fine.bte", "fine")},
                                                   0));
        box.Remember();
        const auto r = Extract(archive, box.game());
        ASSERT_EQ(r.size(), 4u);
        EXPECT_EQ(r[0].code, ERAR_EWRITE);
        EXPECT_EQ(r[0].refusal, Refused(base::Refusal::TooLarge, fiveGiB));
        EXPECT_EQ(r[1].code, ERAR_EWRITE);
        EXPECT_EQ(r[1].refusal, Refused(base::Refusal::TooLarge, base::kMaxMemberSize + 1));
        EXPECT_EQ(r[2].code, ERAR_SUCCESS);
        EXPECT_EQ(r[3].code, ERAR_END_ARCHIVE);
        EXPECT_EQ(TempDir::Read(box.game() / "Turn07.bte"), kGoodTurn);
        EXPECT_EQ(TempDir::Names(box.game()), (std::vector<std::string> {"Fine.bte", "Turn07.bte"}));
        box.ExpectNothingOutside();
    }
}

TEST(UnRarHostile, MemberGrowingPastItsDeclaredSizeStopsWithAnError)
{
    const std::string forged(3000, 'F');
    for (const auto& layout : kLayouts) {
        SCOPED_TRACE(layout.name);
        Sandbox box;
        TempDir::Write(box.game() / "Turn07.bte", kGoodTurn);
        const std::string archive =
            box.Archive("grow.rar", layout.archive({Declaring(File("Turn07.bte", forged), 1000)}, 0));
        box.Remember();
        const auto r = Extract(archive, box.game());
        ASSERT_EQ(r.size(), 2u);
        if (std::string(layout.name) == "rar5") {
            // The decoder hands out all the stored bytes: the writer stops the member.
            EXPECT_EQ(r[0].code, ERAR_EWRITE);
            EXPECT_EQ(r[0].refusal, Refused(base::Refusal::GrewPastSize, 1000));
        } else {
            // The RAR 1.5-4 decoder never unpacks past the declared size: the checksum fails.
            EXPECT_EQ(r[0].code, ERAR_BAD_DATA);
        }
        EXPECT_EQ(TempDir::Read(box.game() / "Turn07.bte"), kGoodTurn);
        EXPECT_EQ(TempDir::Names(box.game()), std::vector<std::string> {"Turn07.bte"});
        box.ExpectNothingOutside();
    }
}

TEST(UnRarHostile, MemberDeclaringMoreThanTheFreeSpaceIsRefusedBeforeWriting)
{
    Sandbox box;
    if (geteuid() != 0)
        GTEST_SKIP() << "not root: no small file system can be mounted for the game folder";
    if (mount("tmpfs", box.game().c_str(), "tmpfs", 0, "size=256k") != 0)
        GTEST_SKIP() << "a small tmpfs could not be mounted for the game folder: " << std::strerror(errno);
    struct Unmount {
        std::string dir;
        ~Unmount() { umount2(dir.c_str(), MNT_DETACH); }
    } unmount {box.game()};
    TempDir::Write(box.game() / "Turn07.bte", kGoodTurn);
    for (const auto& layout : kLayouts) {
        SCOPED_TRACE(layout.name);
        const uint64_t declared = 1 << 20;
        const std::string archive = box.Archive(
            std::string(layout.name) + ".rar",
            layout.archive({Declaring(File("Turn07.bte", "tiny"), declared), File("Small.bte", "small")}, 0));
        box.Remember();
        struct statvfs fs {};
        ASSERT_EQ(statvfs(box.game().c_str(), &fs), 0);
        const auto r = Extract(archive, box.game());
        ASSERT_EQ(r.size(), 3u);
        EXPECT_EQ(r[0].code, ERAR_EWRITE);
        EXPECT_EQ(r[0].refusal,
                  Refused(base::Refusal::NoSpace, declared, static_cast<uint64_t>(fs.f_bavail) * fs.f_frsize));
        EXPECT_EQ(r[1].code, ERAR_SUCCESS);
        EXPECT_EQ(TempDir::Read(box.game() / "Turn07.bte"), kGoodTurn);
        EXPECT_EQ(TempDir::Names(box.game()), (std::vector<std::string> {"Small.bte", "Turn07.bte"}));
        box.ExpectNothingOutside();
    }
}

TEST(UnRarHostile, ControlCharactersAndDeepNamesAreRefusedWithNothingCreated)
{
    std::string deep;
    for (int i = 0; i < 2100; ++i)
        deep += "d/";
    deep += "Turn07.bte";
    for (const auto& layout : kLayouts) {
        SCOPED_TRACE(layout.name);
        Sandbox box;
        TempDir::Write(box.game() / "Turn07.bte", kGoodTurn);
        const std::vector<Entry> entries = {File("Turn07.bte\n", "x"),
                                            File("\x1B[2JTurn07.bte", "x"),
                                            File("maps\x7F/Turn07.bte", "x"),
                                            File("Turn\t07.bte", "x"),
                                            File(deep, "x"),
                                            File("maps/Turn07.bte", "fine")};
        const std::string archive = box.Archive("names.rar", layout.archive(entries, 0));
        box.Remember();
        const auto r = Extract(archive, box.game());
        ASSERT_EQ(r.size(), entries.size() + 1);
        for (size_t i = 0; i + 1 < entries.size(); ++i) {
            EXPECT_EQ(r[i].code, ERAR_ECREATE) << i;
            EXPECT_EQ(r[i].refusal, Refused(base::Refusal::UnsafeName)) << i;
        }
        EXPECT_EQ(r[4].name, deep.substr(0, sizeof RARHeaderData::FileName - 1));
        EXPECT_EQ(r[5].code, ERAR_SUCCESS);
        EXPECT_EQ(TempDir::Names(box.game()), (std::vector<std::string> {"Turn07.bte", "maps"}));
        EXPECT_EQ(TempDir::Names(box.game() / "maps"), std::vector<std::string> {"Turn07.bte"});
        EXPECT_EQ(TempDir::Read(box.game() / "Turn07.bte"), kGoodTurn);
        box.ExpectNothingOutside();
    }
}

TEST(UnRarHostile, RunKilledHalfwayLeavesNoTemporaryFileAfterTheNextRun)
{
    const std::string big(16 << 20, 'B');
    for (const auto& layout : kLayouts) {
        SCOPED_TRACE(layout.name);
        Sandbox box;
        TempDir::Write(box.game() / "Turn07.bte", kGoodTurn);
        const std::string archive =
            box.Archive("big.rar", layout.archive({File("Turn07.bte", big), File("After.bte", "after")}, 0));
        box.Remember();
        const std::string dest = box.game();
        const pid_t child = fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            // Extracts the big member, then waits to be killed before the archive is finished.
            RAROpenArchiveData open {};
            open.ArcName = const_cast<char*>(archive.c_str());
            open.OpenMode = RAR_OM_EXTRACT;
            void* handle = RAROpenArchive(&open);
            RARHeaderData header {};
            if (handle && RARReadHeader(handle, &header) == ERAR_SUCCESS)
                RARProcessFile(handle, RAR_EXTRACT, const_cast<char*>(dest.c_str()), nullptr);
            for (;;)
                pause();
        }
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
        while (PartFiles(box.game()).empty() && std::chrono::steady_clock::now() < deadline)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        kill(child, SIGKILL);
        int status = 0;
        waitpid(child, &status, 0);
        ASSERT_EQ(PartFiles(box.game()).size(), 1u) << "the child never started writing";
        EXPECT_EQ(TempDir::Read(box.game() / "Turn07.bte"), kGoodTurn);

        const auto r = Extract(archive, box.game());
        ASSERT_EQ(r.size(), 3u);
        EXPECT_EQ(r[0].code, ERAR_SUCCESS);
        EXPECT_EQ(r[2].code, ERAR_END_ARCHIVE);
        EXPECT_TRUE(PartFiles(box.game()).empty());
        EXPECT_EQ(TempDir::Names(box.game()), (std::vector<std::string> {"After.bte", "Turn07.bte"}));
        EXPECT_EQ(fs::file_size(box.game() / "Turn07.bte"), big.size());
        box.ExpectNothingOutside();
    }
}
