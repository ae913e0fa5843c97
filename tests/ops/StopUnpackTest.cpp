// Long Compress and Decompress report their progress and stop where the player asks them to:
// only whole files stay behind, and the player is told what arrived.
#include "TurnFolders.h"
#include "archive/AceExtraction.h"
#include "archive/WorkProgress.h"
#include "archive/ZipComponent.h"
#include "ops/PackBattle.h"
#include "ops/TurnZip.h"
#include "ops/UnpackArchive.h"
#include "support/LongArchives.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

namespace fs = std::filesystem;

namespace {

// Asks the work to stop once it has reported at least `units` done.
class StopAfter : public archive::WorkProgress {
public:
    explicit StopAfter(uint64_t units) : units_(units) {}

protected:
    void Reported() override
    {
        if (Done() >= units_)
            RequestStop();
    }

private:
    uint64_t units_;
};

constexpr size_t kMember = 3 << 20;

class StopUnpackTest : public TurnFolders {
protected:
    StopUnpackTest()
    {
        // Unpacking a zip makes the game folder current; it goes with the test.
        cwd = fs::current_path();
        ops::SetUpTurnZip(zip);
        zip.SetDLLDirectory(TURNEX_BIN_DIR);
        members = longarchives::MakeMembers(6, kMember);
    }

    void Receive(const std::string& archive)
    {
        if (archive == "turn.rar")
            TempDir::Write(tmp / "in/turn.rar", longarchives::StoredRar(members));
        else if (archive == "turn.ace")
            TempDir::Write(tmp / "in/turn.ace", longarchives::StoredAce(members));
        else
            WriteZip(tmp / "in/turn.zip");
    }

    void WriteZip(const std::string& archive)
    {
        fs::create_directories(tmp / "src");
        for (const auto& [name, data] : members)
            TempDir::Write(tmp / ("src/" + name), data);
        ASSERT_EQ(std::system(("cd '" + tmp / "src" + "' && zip -q -0 '" + archive + "' *.bte").c_str()), 0);
        fs::remove_all(tmp / "src");
    }

    // The game folder's files, each of which must be one member whole.
    std::vector<std::string> WholeFiles()
    {
        const auto names = TempDir::Names(tmp / "game");
        for (const auto& name : names) {
            const auto member = std::find_if(members.begin(), members.end(), [&](auto& m) { return m.first == name; });
            EXPECT_NE(member, members.end()) << "stray file " << name;
            if (member != members.end())
                EXPECT_TRUE(TempDir::Read(tmp / ("game/" + name)) == member->second) << name << " is not whole";
        }
        return names;
    }

    ~StopUnpackTest() override { fs::current_path(cwd); }

    fs::path cwd;
    ZipComponent zip;
    longarchives::Members members;
};

}  // namespace

TEST_F(StopUnpackTest, AStopRequestEndsEachKindAtItsNextSafePointAndTheMessageNamesWhatArrived)
{
    // RAR stops between members, ACE between groups of members of a few megabytes, zip inside
    // the member being written, which is dropped.
    const std::vector<std::pair<std::string, std::vector<std::string>>> cases = {
        {"turn.rar", {"part100.bte"}},
        {"turn.ace", {"part100.bte", "part101.bte"}},
        {"turn.zip", {}},
    };
    for (const auto& [archive, expected] : cases) {
        SCOPED_TRACE(archive);
        Receive(archive);
        desktop.shown.clear();
        StopAfter progress(1);
        ops::UnpackArchive(config, archive, zip, desktop, &progress);
        EXPECT_TRUE(progress.Stoppable());
        EXPECT_EQ(WholeFiles(), expected);
        ASSERT_EQ(desktop.shown.size(), 1u);
        EXPECT_EQ(desktop.shown[0].caption, "Cancelled");
        std::string text = "Decompress of \"" + archive + "\" was cancelled.";
        if (expected.empty())
            text += " No file was unpacked: the game directory is as it was.";
        else if (expected.size() == 1)
            text += " This file had been unpacked and stays in the game directory:\n    " + expected[0];
        else
            text += " These 2 files had been unpacked and stay in the game directory:\n    " + expected[0] + "\n    " +
                    expected[1];
        EXPECT_EQ(desktop.shown[0].text, text);
        for (const auto& name : expected)
            fs::remove(tmp / ("game/" + name));
    }
}

TEST_F(StopUnpackTest, WorkLeftAloneReportsItsWayToTheEndAndItsUsualMessage)
{
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"turn.rar", "File(s) extracted succesfully(unrar) !"},
        {"turn.ace", "File(s) extracted succesfully(unace) !"},
        {"turn.zip", "File(s) extracted succesfully(unzip) !"},
    };
    for (const auto& [archive, message] : cases) {
        SCOPED_TRACE(archive);
        Receive(archive);
        desktop.shown.clear();
        archive::WorkProgress progress;
        ops::UnpackArchive(config, archive, zip, desktop, &progress);
        EXPECT_EQ(desktop.Messages(), std::vector<std::string> {message});
        EXPECT_EQ(WholeFiles().size(), members.size());
        // Bytes of the archive (RAR, ACE) or of the members (zip): all of the members' at least.
        EXPECT_GE(progress.Done(), members.size() * kMember);
        EXPECT_LE(progress.Done(), progress.Total());
        for (const auto& [name, data] : members)
            fs::remove(tmp / ("game/" + name));
    }
}

TEST_F(StopUnpackTest, AStopAskedForAfterTheLastMemberChangesNothing)
{
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"turn.rar", "File(s) extracted succesfully(unrar) !"},
        {"turn.ace", "File(s) extracted succesfully(unace) !"},
    };
    for (const auto& [archive, message] : cases) {
        SCOPED_TRACE(archive);
        Receive(archive);
        desktop.shown.clear();
        StopAfter progress(members.size() * kMember);
        ops::UnpackArchive(config, archive, zip, desktop, &progress);
        EXPECT_TRUE(progress.StopRequested());
        EXPECT_EQ(desktop.Messages(), std::vector<std::string> {message});
        EXPECT_EQ(WholeFiles().size(), members.size());
        for (const auto& [name, data] : members)
            fs::remove(tmp / ("game/" + name));
    }
}

TEST_F(StopUnpackTest, ASolidAceArchiveGoesInOneCallWithoutCancel)
{
    std::string solid = longarchives::StoredAce(members);
    // The main header's flags: the solid bit, and the header CRC again.
    solid[5] = '\0';
    solid[6] = '\x80';
    const std::string body = solid.substr(4, static_cast<unsigned char>(solid[2]));
    const uint32_t crc = longarchives::AceCrc(body);
    solid[0] = static_cast<char>(crc);
    solid[1] = static_cast<char>(crc >> 8);
    TempDir::Write(tmp / "in/solid.ace", solid);
    const auto list = archive::ListAceMembers(tmp / "in/solid.ace");
    ASSERT_TRUE(list);
    EXPECT_TRUE(list->solid);
    EXPECT_EQ(list->members.size(), members.size());

    StopAfter progress(0);
    ops::UnpackArchive(config, "solid.ace", zip, desktop, &progress);
    EXPECT_FALSE(progress.Stoppable());
    EXPECT_EQ(desktop.Messages(), std::vector<std::string> {"File(s) extracted succesfully(unace) !"});
    EXPECT_EQ(WholeFiles().size(), members.size());
}

TEST_F(StopUnpackTest, AStoppedCompressWritesNoArchiveAndKeepsTheOldOne)
{
    // A battle file is packed in one go once its writing has begun: the stop is asked for at once.
    TempDir::Write(tmp / "game/big.bte", members[0].second + members[1].second);
    config = MakeConfig(tmp / "game", tmp / "out", tmp / "in", 0, 0);
    {
        StopAfter progress(0);
        EXPECT_EQ(ops::PackBattle(config, "big.bte", zip, desktop, &progress), ops::PackOutcome::Stopped);
        EXPECT_TRUE(TempDir::Names(tmp / "out").empty());
        ASSERT_EQ(desktop.shown.size(), 1u);
        EXPECT_EQ(desktop.shown[0].caption, "Cancelled");
        EXPECT_EQ(desktop.shown[0].text, "Compress was cancelled: big.bte was not packed. No archive was written.");
    }
    WriteZip(tmp / "out/big.zip");
    const std::string before = TempDir::Read(tmp / "out/big.zip");
    desktop.shown.clear();
    StopAfter progress(0);
    EXPECT_EQ(ops::PackBattle(config, "big.bte", zip, desktop, &progress), ops::PackOutcome::Stopped);
    EXPECT_EQ(TempDir::Names(tmp / "out"), std::vector<std::string> {"big.zip"});
    EXPECT_TRUE(TempDir::Read(tmp / "out/big.zip") == before);
    ASSERT_EQ(desktop.shown.size(), 1u);
    EXPECT_EQ(desktop.shown[0].text, "Compress was cancelled: big.bte was not packed. The archive " +
                                         config.Current().OutgoingDir() + "big.zip was left as it was.");

    // Left alone it packs, and its progress ends at the bytes it wrote.
    desktop.shown.clear();
    archive::WorkProgress whole;
    EXPECT_EQ(ops::PackBattle(config, "big.bte", zip, desktop, &whole), ops::PackOutcome::Packed);
    EXPECT_EQ(desktop.Messages(), std::vector<std::string> {"File successfully zipped!"});
    EXPECT_LE(whole.Done(), whole.Total());
    EXPECT_GT(whole.Done(), 0u);
}
