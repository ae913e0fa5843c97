// Compress: a battle into a zip of its base name in the outgoing folder, under the three
// overwrite rules, through the real zip library.
#include "TurnFolders.h"
#include "archive/ZipComponent.h"
#include "ops/PackBattle.h"
#include "ops/TurnZip.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <cstring>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>
#include <utime.h>

namespace fs = std::filesystem;

namespace {

// The names inside a zip archive, as Info-ZIP lists them.
std::vector<std::string> ZipNames(const std::string& archive)
{
    std::vector<std::string> names;
    FILE* listing = popen(("unzip -Z1 '" + archive + "' 2>/dev/null").c_str(), "r");
    char line[4096];
    while (listing && fgets(line, sizeof line, listing)) {
        std::string name(line);
        while (!name.empty() && (name.back() == '\n' || name.back() == '\r'))
            name.pop_back();
        names.push_back(name);
    }
    if (listing)
        pclose(listing);
    std::sort(names.begin(), names.end());
    return names;
}

void SetTime(const std::string& file, time_t when)
{
    utimbuf times {when, when};
    utime(file.c_str(), &times);
}

// The report as the component shows it for an archive (or none).
std::string Report(int ident, const std::string& archive = {}) { return ZipReport(ident, "", archive); }

const std::string kZipped = "File successfully zipped!";

// A file that exists but that no one can open for reading, not even root.
bool MakeSocket(const std::string& path)
{
    const int fd = socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address {};
    address.sun_family = AF_UNIX;
    if (fd < 0 || path.size() >= sizeof address.sun_path)
        return false;
    std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
    const bool bound = bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    close(fd);
    return bound;
}

class PackBattleTest : public TurnFolders {
protected:
    PackBattleTest()
    {
        TempDir::Write(tmp / "game/Turn07.bte", BattleText("1 0", "Turn seven", "36 60", "1"));
        ops::SetUpTurnZip(zip);
        zip.SetDLLDirectory(TURNEX_BIN_DIR);
    }
    void UseRule(uint8_t rule) { config.Current().SetZipOverwrite(rule); }
    ops::PackOutcome Pack(const std::string& battle = "Turn07.bte")
    {
        return ops::PackBattle(config, battle, zip, desktop);
    }
    size_t Prompts() const { return desktop.Of(Shown::Input).size(); }
    std::string OutArchive() const { return (tmp / "out") + "\\Turn07.zip"; }

    ZipComponent zip;
};

}  // namespace

TEST_F(PackBattleTest, PacksTheBattleUnderItsBaseNameIntoTheOutgoingFolder)
{
    TempDir::Write(tmp / "game/Turn08.bte", BattleText("1 0", "Turn eight", "42 60", "1"));
    EXPECT_EQ(Pack(), ops::PackOutcome::Packed);
    EXPECT_EQ(desktop.Messages(), (std::vector<std::string> {kZipped}));
    EXPECT_EQ(ZipNames(tmp / "out/Turn07.zip"), (std::vector<std::string> {"Turn07.bte"}));
    EXPECT_FALSE(fs::exists(tmp / "out/Turn08.zip"));
    // The outgoing folder gained its backslash in memory, and the component keeps the name.
    EXPECT_EQ(config.Current().OutgoingDir(), (tmp / "out") + "\\");
    EXPECT_EQ(zip.GetZipFileName(), OutArchive());

    // The last four characters go, whatever they are.
    EXPECT_EQ(ops::ArchiveNameFor("Bulge3.bte"), "Bulge3.zip");
    EXPECT_EQ(ops::ArchiveNameFor("Turn07.BTE"), "Turn07.zip");
    EXPECT_EQ(ops::ArchiveNameFor("battle"), "ba.zip");
    EXPECT_EQ(ops::ArchiveNameFor("abc"), "abc.zip");
    EXPECT_EQ(ops::ArchiveNameFor(".bte"), ".zip");
    EXPECT_EQ(ops::ArchiveNameFor("abcd"), ".zip");
}

TEST_F(PackBattleTest, RuleOneAsksOnlyWhenTheArchiveIsNewer)
{
    ASSERT_EQ(Pack(), ops::PackOutcome::Packed);
    const time_t battle = 1700000000;
    SetTime(tmp / "game/Turn07.bte", battle);
    SetTime(tmp / "out/Turn07.zip", battle + 1);  // the same two-second step
    Pack();
    SetTime(tmp / "out/Turn07.zip", battle - 100);  // older
    Pack();
    EXPECT_EQ(Prompts(), 0u);

    // Newer: asked with the full path preset; OK without a change adds to the same archive.
    SetTime(tmp / "out/Turn07.zip", battle + 100);
    desktop.inputAnswers = {{true, OutArchive()}};
    Pack();
    const auto prompts = desktop.Of(Shown::Input);
    ASSERT_EQ(prompts.size(), 1u);
    EXPECT_EQ(prompts[0].caption, "Select a name");
    EXPECT_EQ(prompts[0].text, "File exists,change name or click OK for overwrite.");
    EXPECT_EQ(ZipNames(tmp / "out/Turn07.zip"), (std::vector<std::string> {"Turn07.bte"}));

    // A new path: the archive is written there.
    SetTime(tmp / "out/Turn07.zip", battle + 100);
    desktop.inputAnswers = {{true, tmp / "out/Other.zip"}};
    EXPECT_EQ(Pack(), ops::PackOutcome::Packed);
    EXPECT_EQ(ZipNames(tmp / "out/Other.zip"), (std::vector<std::string> {"Turn07.bte"}));

    // Cancel: nothing written, nothing said.
    fs::remove(tmp / "out/Other.zip");
    SetTime(tmp / "out/Turn07.zip", battle + 100);
    const auto said = desktop.Messages().size();
    desktop.inputAnswers = {{false, ""}};
    EXPECT_EQ(Pack(), ops::PackOutcome::Cancelled);
    EXPECT_EQ(desktop.Messages().size(), said);
    EXPECT_FALSE(fs::exists(tmp / "out/Other.zip"));
}

TEST_F(PackBattleTest, RuleTwoAsksWheneverTheArchiveExists)
{
    UseRule(2);
    EXPECT_EQ(Pack(), ops::PackOutcome::Packed);  // no archive yet: no question
    EXPECT_EQ(Prompts(), 0u);
    // The battle changed since it was packed: update mode replaces it.
    SetTime(tmp / "game/Turn07.bte", std::time(nullptr) + 60);
    desktop.inputAnswers = {{true, OutArchive()}};
    EXPECT_EQ(Pack(), ops::PackOutcome::Packed);
    EXPECT_EQ(Prompts(), 1u);
    // Unchanged since: update mode has nothing to do, and says so rather than claim success.
    desktop.inputAnswers = {{true, OutArchive()}};
    EXPECT_EQ(Pack(), ops::PackOutcome::AlreadyPacked);
    EXPECT_EQ(Prompts(), 2u);
    EXPECT_EQ(desktop.Messages().size(), 3u);
    EXPECT_EQ(desktop.Messages().back().rfind("Turn07.zip already holds a Turn07.bte", 0), 0u);
}

TEST_F(PackBattleTest, RuleZeroAddsToTheExistingArchiveAndOtherRulesDoNothing)
{
    UseRule(0);
    TempDir::Write(tmp / "other.bte", "other battle");
    ASSERT_EQ(std::system(("cd '" + tmp.path() + "' && zip -q out/Turn07.zip other.bte").c_str()), 0);
    EXPECT_EQ(Pack(), ops::PackOutcome::Packed);
    EXPECT_EQ(Prompts(), 0u);
    EXPECT_EQ(ZipNames(tmp / "out/Turn07.zip"), (std::vector<std::string> {"Turn07.bte", "other.bte"}));

    fs::remove(tmp / "out/Turn07.zip");
    for (uint8_t rule : {3, 5, 255}) {
        UseRule(rule);
        desktop.shown.clear();
        EXPECT_EQ(Pack(), ops::PackOutcome::UnknownRule);
        EXPECT_EQ(desktop.Errors(), (std::vector<std::string> {"Nothing was packed: the zip overwrite setting of this "
                                                               "game (" +
                                                               std::to_string(rule) +
                                                               ") is not one turnex knows. Choose one under Options "
                                                               "and try again."}));
        EXPECT_FALSE(fs::exists(tmp / "out/Turn07.zip"));
    }
}

TEST_F(PackBattleTest, AForeignFileOfTheArchivesNameIsReportedAndNothingIsWritten)
{
    const std::string text = "not a zip archive at all, just text";
    TempDir::Write(tmp / "out/Turn07.zip", text);
    EXPECT_EQ(Pack(), ops::PackOutcome::NothingPacked);
    // No end record: reported when named and forgotten, so no question, and no add into it.
    EXPECT_EQ(Prompts(), 0u);
    EXPECT_EQ(desktop.Messages(),
              (std::vector<std::string> {Report(11036, OutArchive()),
                                         "Turn07.bte was not packed: " + OutArchive() +
                                             " is in the way and is not a zip archive turnex can add to. Rename or "
                                             "remove it and try again."}));
    EXPECT_EQ(desktop.Messages()[0], "This file is not a zip archive, or it is too damaged to read.\nArchive: " +
                                         OutArchive() + "\n(zip report 11036)");
    EXPECT_EQ(TempDir::Read(tmp / "out/Turn07.zip"), text);
    EXPECT_TRUE(zip.GetZipFileName().empty());
}

TEST_F(PackBattleTest, AnEmptiedNamePromptWritesNothingAndTheNextPackTakesOnlyItsBattle)
{
    UseRule(2);
    Pack();
    desktop.inputAnswers = {{true, ""}};
    EXPECT_EQ(Pack(), ops::PackOutcome::NothingPacked);
    EXPECT_EQ(desktop.Messages(), (std::vector<std::string> {kZipped, Report(10102)}));

    fs::remove(tmp / "out/Turn07.zip");
    TempDir::Write(tmp / "game/Turn08.bte", BattleText("1 0", "Turn eight", "42 60", "1"));
    EXPECT_EQ(Pack("Turn08.bte"), ops::PackOutcome::Packed);
    EXPECT_EQ(ZipNames(tmp / "out/Turn08.zip"), (std::vector<std::string> {"Turn08.bte"}));
}

TEST_F(PackBattleTest, ABattleThatCannotBeReadIsToldAndTheOldArchiveKept)
{
    UseRule(0);
    ASSERT_EQ(Pack(), ops::PackOutcome::Packed);
    const std::string old = TempDir::Read(tmp / "out/Turn07.zip");
    desktop.shown.clear();
    // The battle went between the listing and the click.
    fs::remove(tmp / "game/Turn07.bte");
    EXPECT_EQ(Pack(), ops::PackOutcome::NothingPacked);
    ASSERT_EQ(desktop.Errors().size(), 1u);
    EXPECT_EQ(desktop.Messages().size(), 1u);
    const std::string text = desktop.Errors()[0];
    EXPECT_EQ(text.rfind("Turn07.bte was not packed: ", 0), 0u) << text;
    EXPECT_NE(text.find("Turn07.bte"), std::string::npos);
    EXPECT_NE(text.find("The archive " + OutArchive() + " was left as it was: it does not hold this turn."),
              std::string::npos)
        << text;
    EXPECT_EQ(TempDir::Read(tmp / "out/Turn07.zip"), old);
}

TEST_F(PackBattleTest, AnArchiveThatAlreadyHoldsTheBattleSaysSo)
{
    UseRule(0);
    ASSERT_EQ(Pack(), ops::PackOutcome::Packed);
    EXPECT_EQ(Pack(), ops::PackOutcome::AlreadyPacked);
    const std::string already =
        "Turn07.zip already holds a Turn07.bte dated the same as the battle file or later, so nothing was added.";
    EXPECT_EQ(desktop.Messages(), (std::vector<std::string> {kZipped, already}));
    // An older battle put back into the game folder is not packed over a later turn either.
    SetTime(tmp / "game/Turn07.bte", 315532800);
    EXPECT_EQ(Pack(), ops::PackOutcome::AlreadyPacked);
    EXPECT_EQ(desktop.Messages().back(), already);
}

TEST_F(PackBattleTest, AFullDiskIsToldAndTheOldArchiveKept)
{
    if (geteuid() != 0)
        GTEST_SKIP() << "a full disk needs a small tmpfs, and mounting one needs root";
    fs::create_directories(tmp / "small");
    if (std::system(("mount -t tmpfs -o size=256k tmpfs '" + (tmp / "small") + "' 2>/dev/null").c_str()) != 0)
        GTEST_SKIP() << "mounting a tmpfs is not allowed here";
    struct Unmount {
        std::string dir;
        ~Unmount() { std::system(("umount '" + dir + "'").c_str()); }
    } unmount {tmp / "small"};
    config.Current().SetOutgoingDir(tmp / "small");
    ASSERT_EQ(Pack(), ops::PackOutcome::Packed);
    const std::string old = TempDir::Read(tmp / "small/Turn07.zip");
    // Fill the disk, then make the battle too big to fit, and random so it does not shrink.
    std::system(("dd if=/dev/zero of='" + (tmp / "small/filler") + "' bs=4k 2>/dev/null").c_str());
    std::system(("head -c 200000 /dev/urandom >> '" + (tmp / "game/Turn07.bte") + "'").c_str());
    SetTime(tmp / "game/Turn07.bte", time(nullptr) + 10);
    desktop.shown.clear();
    EXPECT_EQ(Pack(), ops::PackOutcome::NothingPacked);
    ASSERT_EQ(desktop.Errors().size(), 1u);
    const std::string text = desktop.Errors()[0];
    EXPECT_EQ(text.rfind("Turn07.bte was not packed: ", 0), 0u) << text;
    EXPECT_NE(text.find("No space left on device"), std::string::npos) << text;
    EXPECT_NE(text.find("was left as it was"), std::string::npos) << text;
    EXPECT_EQ(TempDir::Read(tmp / "small/Turn07.zip"), old);
}

TEST_F(PackBattleTest, ABattleThatExistsButCannotBeOpenedCountsAsOlderThanAnyArchive)
{
    UseRule(1);
    ASSERT_EQ(Pack(), ops::PackOutcome::Packed);
    SetTime(tmp / "out/Turn07.zip", 315532800);  // 1980: older than the battle, so no question
    ASSERT_EQ(Pack(), ops::PackOutcome::AlreadyPacked);
    EXPECT_EQ(Prompts(), 0u);
    // A socket exists but cannot be opened: its age is -1, so the archive counts as later.
    SetTime(tmp / "out/Turn07.zip", 315532800);
    fs::remove(tmp / "game/Turn07.bte");
    ASSERT_TRUE(MakeSocket(tmp / "game/Turn07.bte"));
    EXPECT_EQ(Pack(), ops::PackOutcome::Cancelled);
    EXPECT_EQ(Prompts(), 1u);
}
