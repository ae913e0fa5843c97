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

std::string Fallback(int ident) { return std::string(kZipMessageFallback) + std::to_string(ident); }

const std::string kZipped = "File successfully zipped!";

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
    // Unchanged since: update mode has nothing to do, and no success is claimed.
    desktop.inputAnswers = {{true, OutArchive()}};
    EXPECT_EQ(Pack(), ops::PackOutcome::NothingPacked);
    EXPECT_EQ(Prompts(), 2u);
    EXPECT_EQ(desktop.Messages(), (std::vector<std::string> {kZipped, kZipped}));
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
        const auto before = desktop.shown.size();
        EXPECT_EQ(Pack(), ops::PackOutcome::UnknownRule);
        EXPECT_EQ(desktop.shown.size(), before);
        EXPECT_FALSE(fs::exists(tmp / "out/Turn07.zip"));
    }
}

TEST_F(PackBattleTest, AForeignFileOfTheArchivesNameIsReportedAndNothingIsWritten)
{
    const std::string text = "not a zip archive at all, just text";
    TempDir::Write(tmp / "out/Turn07.zip", text);
    EXPECT_EQ(Pack(), ops::PackOutcome::NothingPacked);
    // No end record: reported when named and forgotten, so no question, and the add misses its
    // archive name.
    EXPECT_EQ(Prompts(), 0u);
    EXPECT_EQ(desktop.Messages(), (std::vector<std::string> {Fallback(11036), Fallback(10102)}));
    EXPECT_EQ(TempDir::Read(tmp / "out/Turn07.zip"), text);
    EXPECT_TRUE(zip.GetZipFileName().empty());
}

TEST_F(PackBattleTest, AnEmptiedNamePromptWritesNothingAndTheNextPackTakesOnlyItsBattle)
{
    UseRule(2);
    Pack();
    desktop.inputAnswers = {{true, ""}};
    EXPECT_EQ(Pack(), ops::PackOutcome::NothingPacked);
    EXPECT_EQ(desktop.Messages(), (std::vector<std::string> {kZipped, Fallback(10102)}));

    fs::remove(tmp / "out/Turn07.zip");
    TempDir::Write(tmp / "game/Turn08.bte", BattleText("1 0", "Turn eight", "42 60", "1"));
    EXPECT_EQ(Pack("Turn08.bte"), ops::PackOutcome::Packed);
    EXPECT_EQ(ZipNames(tmp / "out/Turn08.zip"), (std::vector<std::string> {"Turn08.bte"}));
}
