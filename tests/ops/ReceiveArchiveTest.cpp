// Receiving dropped archives into the incoming folder: what is taken, what is refused and why,
// replacing only after Yes, and failures that leave the folder as it was.
#include "TurnFolders.h"
#include "ops/ReceiveArchive.h"
#include "support/FileSizeLimit.h"

#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <sys/resource.h>
#include <sys/stat.h>

namespace fs = std::filesystem;

namespace {

class ReceiveArchiveTest : public TurnFolders {
protected:
    ReceiveArchiveTest() { fs::create_directories(tmp / "mail"); }
    // A file of the mail client's attachment folder, dropped by its path.
    ops::DroppedFile Attachment(const std::string& name, const std::string& bytes)
    {
        TempDir::Write(tmp / ("mail/" + name), bytes);
        return {tmp / ("mail/" + name), {}};
    }
    ops::ReceiveOutcome Receive(const std::vector<ops::DroppedFile>& dropped)
    {
        return ops::ReceiveArchives(config, dropped, desktop);
    }
};

}  // namespace

TEST_F(ReceiveArchiveTest, EachArchiveComesInAndEverythingElseIsNamedInOneText)
{
    fs::create_directories(tmp / "mail/photos");
    const auto outcome = Receive({Attachment("Turn07.zip", "zip bytes"),
                                  Attachment("notes.txt", "text"),
                                  Attachment("B.RAR", "rar bytes"),
                                  {tmp / "mail/photos/", {}},
                                  {{}, "https://example.org/Turn08.zip"},
                                  Attachment("c.Ace", "ace bytes")});
    EXPECT_EQ(outcome.received, (std::vector<std::string> {"Turn07.zip", "B.RAR", "c.Ace"}));
    EXPECT_EQ(outcome.notReceived,
              "notes.txt was not received: only .zip, .rar and .ace archives go into the incoming folder.\n"
              "photos was not received: it is a folder, not an archive.\n"
              "https://example.org/Turn08.zip was not received: it is not a file on this computer.");
    EXPECT_FALSE(outcome.failed);
    // Copied whole, the sources left where they were, no temporary file left behind.
    EXPECT_EQ(TempDir::Names(tmp / "in"), (std::vector<std::string> {"B.RAR", "Turn07.zip", "c.Ace"}));
    EXPECT_EQ(TempDir::Read(tmp / "in/Turn07.zip"), "zip bytes");
    EXPECT_EQ(TempDir::Read(tmp / "in/c.Ace"), "ace bytes");
    EXPECT_TRUE(fs::exists(tmp / "mail/Turn07.zip"));
    EXPECT_TRUE(desktop.shown.empty());
}

TEST_F(ReceiveArchiveTest, AnArchiveOfTheSameNameIsReplacedOnlyAfterYes)
{
    TempDir::Write(tmp / "in/Turn07.zip", "last turn");
    desktop.boxAnswers = {base::IDNO};
    auto outcome = Receive({Attachment("Turn07.zip", "this turn")});
    ASSERT_EQ(desktop.Of(Shown::Box).size(), 1u);
    EXPECT_EQ(desktop.shown[0].text, "Turn07.zip is already in the incoming folder. Replace it?");
    EXPECT_EQ(desktop.shown[0].caption, "Replace file");
    EXPECT_EQ(desktop.shown[0].flags, base::MB_YESNO);
    // No: the player's own answer, nothing more is said.
    EXPECT_TRUE(outcome.received.empty());
    EXPECT_TRUE(outcome.notReceived.empty());
    EXPECT_EQ(TempDir::Read(tmp / "in/Turn07.zip"), "last turn");

    // In another letter case it is the same archive to the games' platform: that one is replaced.
    fs::rename(tmp / "in/Turn07.zip", tmp / "in/TURN07.ZIP");
    desktop.boxAnswers = {base::IDYES};
    outcome = Receive({Attachment("Turn07.zip", "this turn")});
    EXPECT_EQ(desktop.shown.back().text, "TURN07.ZIP is already in the incoming folder. Replace it?");
    EXPECT_EQ(outcome.received, (std::vector<std::string> {"TURN07.ZIP"}));
    EXPECT_EQ(TempDir::Names(tmp / "in"), (std::vector<std::string> {"TURN07.ZIP"}));
    EXPECT_EQ(TempDir::Read(tmp / "in/TURN07.ZIP"), "this turn");

    // Dropped from the incoming folder itself: it is there already, nothing to ask.
    desktop.shown.clear();
    outcome = Receive({{tmp / "in/TURN07.ZIP", {}}});
    EXPECT_EQ(outcome.received, (std::vector<std::string> {"TURN07.ZIP"}));
    EXPECT_TRUE(desktop.shown.empty());
    EXPECT_EQ(TempDir::Read(tmp / "in/TURN07.ZIP"), "this turn");
}

TEST_F(ReceiveArchiveTest, WithoutAUsableIncomingFolderNothingComes)
{
    const auto dropped = Attachment("Turn07.zip", "zip bytes");
    config.Current().SetIncomingDir("");
    auto outcome = Receive({dropped});
    EXPECT_TRUE(outcome.received.empty());
    EXPECT_TRUE(outcome.failed);
    EXPECT_EQ(outcome.notReceived,
              "Turn07.zip was not received: no incoming folder is set for this game. Choose one under Options.");

    config.Current().SetIncomingDir(tmp / "gone");
    outcome = Receive({dropped});
    EXPECT_EQ(outcome.notReceived,
              "Turn07.zip was not received: the incoming folder " + (tmp / "gone") + " does not exist.");
    EXPECT_FALSE(fs::exists(tmp / "gone"));

    // A folder of the archive's name is in the way.
    config.Current().SetIncomingDir(tmp / "in");
    fs::create_directories(tmp / "in/turn07.zip");
    outcome = Receive({dropped});
    EXPECT_EQ(outcome.notReceived, "Turn07.zip was not received: a folder of that name is in the incoming folder.");
    EXPECT_TRUE(fs::is_empty(tmp / "in/turn07.zip"));
    EXPECT_TRUE(desktop.shown.empty());
}

TEST_F(ReceiveArchiveTest, SourcesThatCannotBeReadAreNamedWithTheReason)
{
    // The mail client removed its temporary file, and a pipe that would never end.
    fs::create_symlink(tmp / "mail/removed.zip", tmp / "mail/link.zip");
    ASSERT_EQ(mkfifo((tmp / "mail/pipe.zip").c_str(), 0600), 0);
    const auto outcome =
        Receive({{tmp / "mail/link.zip", {}}, {tmp / "mail/pipe.zip", {}}, Attachment("ok.zip", "fine")});
    EXPECT_EQ(outcome.received, (std::vector<std::string> {"ok.zip"}));
    EXPECT_TRUE(outcome.failed);
    EXPECT_EQ(outcome.notReceived, "link.zip was not received: it cannot be read (file not found).\n"
                                   "pipe.zip was not received: it cannot be read (not a plain file).");
    EXPECT_EQ(TempDir::Names(tmp / "in"), (std::vector<std::string> {"ok.zip"}));
}

TEST_F(ReceiveArchiveTest, AFailedWriteLeavesTheIncomingFolderAsItWas)
{
    TempDir::Write(tmp / "in/Turn07.zip", "last turn");
    const auto dropped = Attachment("Turn07.zip", std::string(64 * 1024, 'x'));
    desktop.boxAnswers = {base::IDYES};
    ops::ReceiveOutcome outcome;
    {
        const FileSizeLimit limit(4096);
        outcome = Receive({dropped});
    }
    EXPECT_TRUE(outcome.received.empty());
    EXPECT_TRUE(outcome.failed);
    EXPECT_EQ(outcome.notReceived, "Turn07.zip was not received: it could not be written into " + (tmp / "in") +
                                       " (the file is too large). The incoming folder is as it was.");
    EXPECT_EQ(TempDir::Names(tmp / "in"), (std::vector<std::string> {"Turn07.zip"}));
    EXPECT_EQ(TempDir::Read(tmp / "in/Turn07.zip"), "last turn");
}

TEST_F(ReceiveArchiveTest, ANameWithABackslashCannotLandOutsideTheFolder)
{
    // A legal name on this system, but the stored folders are joined with backslashes. A colon
    // is part of a name here, not a drive.
    const auto outcome = Receive({Attachment("..\\evil.zip", "zip bytes"), Attachment("Turn 7: a.zip", "ok")});
    EXPECT_EQ(outcome.received, (std::vector<std::string> {"Turn 7: a.zip"}));
    EXPECT_EQ(outcome.notReceived,
              "..\\evil.zip was not received: a name with a backslash cannot be kept in the incoming folder.");
    EXPECT_EQ(TempDir::Names(tmp / "in"), (std::vector<std::string> {"Turn 7: a.zip"}));
    EXPECT_FALSE(fs::exists(tmp / "evil.zip"));
}

TEST(ReceivableArchive, TheExtensionDecidesInAnyLetterCase)
{
    for (const char* name : {"a.zip", "A.ZIP", "turn.Rar", "x.aCe", ".zip"})
        EXPECT_TRUE(ops::IsReceivableArchive(name)) << name;
    for (const char* name : {"azip", "a.zip.txt", "a.7z", "a.zi", "a.zip "})
        EXPECT_FALSE(ops::IsReceivableArchive(name)) << name;
}
