// Decompress: a received zip, RAR or ACE archive into the game folder, chosen by its name, through
// the real libraries.
#include "TurnFolders.h"
#include "archive/SharedCorpus.h"
#include "archive/ZipComponent.h"
#include "ops/TurnZip.h"
#include "ops/UnpackArchive.h"

#include <QCryptographicHash>
#include <gtest/gtest.h>

#include <filesystem>

namespace fs = std::filesystem;

namespace {

const std::string kShared = TURNEX_SHARED_TESTDATA;

std::string Sha256(const std::string& file)
{
    const std::string bytes = TempDir::Read(file);
    return QCryptographicHash::hash(QByteArray(bytes.data(), static_cast<qsizetype>(bytes.size())),
                                    QCryptographicHash::Sha256)
        .toHex()
        .toStdString();
}

class UnpackArchiveTest : public TurnFolders {
protected:
    UnpackArchiveTest()
    {
        ops::SetUpTurnZip(zip);
        zip.SetDLLDirectory(TURNEX_BIN_DIR);
    }
    ops::ArchiveKind Unpack(const std::string& name) { return ops::UnpackArchive(config, name, zip, desktop); }
    // Copies an archive of the shared corpus into the incoming folder under the given name.
    void Receive(const std::string& corpusFile, const std::string& name)
    {
        REQUIRE_SHARED_DATA(fs::exists(kShared + "/" + corpusFile), kShared);
        fs::copy_file(kShared + "/" + corpusFile, tmp / ("in/" + name));
    }
    ZipComponent zip;
};

}  // namespace

TEST_F(UnpackArchiveTest, TheNamesLastThreeLettersChooseTheBackEnd)
{
    using ops::ArchiveKind;
    EXPECT_EQ(ops::ArchiveKindOf("TURN07.ZIP"), ArchiveKind::Zip);
    EXPECT_EQ(ops::ArchiveKindOf("turn07.Rar"), ArchiveKind::Rar);
    EXPECT_EQ(ops::ArchiveKindOf("turn07.ace"), ArchiveKind::Ace);
    EXPECT_EQ(ops::ArchiveKindOf("zip"), ArchiveKind::Zip);  // shorter names: the whole name
    EXPECT_EQ(ops::ArchiveKindOf("turn07zip"), ArchiveKind::Zip);
    EXPECT_EQ(ops::ArchiveKindOf("ip"), ArchiveKind::Other);
    EXPECT_EQ(ops::ArchiveKindOf("turn07.7z"), ArchiveKind::Other);
    EXPECT_EQ(ops::ArchiveKindOf("turn07.zip "), ArchiveKind::Other);

    // Another kind is ignored silently, even a real zip under that name.
    TempDir::Write(tmp / "src/Turn09.bte", BattleText("0 0", "Turn nine", "48 60", "2"));
    ASSERT_EQ(std::system(("cd '" + tmp.path() + "/src' && zip -q ../in/turn07.7z Turn09.bte").c_str()), 0);
    EXPECT_EQ(Unpack("turn07.7z"), ArchiveKind::Other);
    EXPECT_TRUE(desktop.shown.empty());
    EXPECT_TRUE(fs::is_empty(tmp / "game"));
}

TEST_F(UnpackArchiveTest, AZipReplacesTheBattleInTheGameFolderWithoutAsking)
{
    TempDir::Write(tmp / "src/Turn09.bte", BattleText("0 0", "Turn nine", "48 60", "2"));
    ASSERT_EQ(std::system(("cd '" + tmp.path() + "/src' && zip -q ../in/TURN07.ZIP Turn09.bte").c_str()), 0);
    TempDir::Write(tmp / "game/Turn09.bte", "an older copy");
    config.Current().SetZipOverwrite(2);  // governs packing only

    EXPECT_EQ(Unpack("TURN07.ZIP"), ops::ArchiveKind::Zip);
    EXPECT_EQ(desktop.Messages(), (std::vector<std::string> {"File(s) extracted succesfully(unzip) !"}));
    EXPECT_EQ(TempDir::Read(tmp / "game/Turn09.bte"), TempDir::Read(tmp / "src/Turn09.bte"));
    EXPECT_EQ(config.Current().IncomingDir(), (tmp / "in") + "\\");
    EXPECT_EQ(zip.ExtrBaseDir, tmp / "game");
}

TEST_F(UnpackArchiveTest, AFileThatIsNoZipIsReportedWithoutClaimingSuccess)
{
    TempDir::Write(tmp / "in/Turn07.zip", "not a zip archive at all");
    EXPECT_EQ(Unpack("Turn07.zip"), ops::ArchiveKind::Zip);
    // No end record when named, then no archive to extract from; no success after that.
    const std::string fallback = kZipMessageFallback;
    EXPECT_EQ(desktop.Messages(), (std::vector<std::string> {fallback + "11036", fallback + "10102"}));
    EXPECT_TRUE(fs::is_empty(tmp / "game"));
}

TEST_F(UnpackArchiveTest, ARarIsUnpackedIntoTheGameFolder)
{
    Receive("rar/r5_compressed_multi.rar", "turn07.rar");
    if (IsSkipped() || HasFailure())
        return;
    EXPECT_EQ(Unpack("turn07.rar"), ops::ArchiveKind::Rar);
    const auto boxes = desktop.Of(Shown::Box);
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text, "File(s) extracted succesfully(unrar) !");
    EXPECT_EQ(boxes[0].caption, "Success");
    // What the corpus manifest says the members hold.
    EXPECT_EQ(Sha256(tmp / "game/test1.bin"), "7d89f86f9f69d744ffff3fc043e15bf89fc3ffc134ffcbb31d164a99bb8b67b0");
    EXPECT_EQ(Sha256(tmp / "game/test4.bin"), "2627f40180217252956edb9a426e8d3e344adaf89019d3bccbe04f6c3416dcdd");
    EXPECT_EQ(config.Current().IncomingDir(), (tmp / "in") + "\\");
}

TEST_F(UnpackArchiveTest, AnAceIsUnpackedIntoTheGameFolder)
{
    Receive("ace/ALCHT.ACE", "alcht.ace");
    if (IsSkipped() || HasFailure())
        return;
    EXPECT_EQ(Unpack("alcht.ace"), ops::ArchiveKind::Ace);
    ASSERT_FALSE(desktop.shown.empty());
    EXPECT_EQ(desktop.shown.back().text, "File(s) extracted succesfully(unace) !");
    EXPECT_EQ(Sha256(tmp / "game/slots.crd"), "d9dba03b705805aa8a6d879a0f24adb3056af4ac378352436d60037947fa639e");
}
