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
    // No end record when named: reported once, and nothing is attempted after that.
    EXPECT_EQ(desktop.Messages(), (std::vector<std::string> {ZipReport(11036, "", (tmp / "in") + "\\Turn07.zip")}));
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

namespace {

// Runs a python3 script in the temporary folder (archives the zip program cannot make).
void Python(const TempDir& tmp, const std::string& script)
{
    TempDir::Write(tmp / "make.py", script);
    ASSERT_EQ(std::system(("cd '" + tmp.path() + "' && python3 make.py").c_str()), 0);
}

// Four members: two sound, one whose data no longer matches its checksum, one packed with a
// method number no library knows.
const char* kPartlyDamaged = R"(import zipfile
with zipfile.ZipFile('in/Turn07.zip', 'w', zipfile.ZIP_STORED) as z:
    z.writestr('Alpha.bte', 'alpha battle')
    z.writestr('Bravo.bte', 'bravo battle')
    z.writestr('Charlie.bte', 'charlie battle')
    z.writestr('Delta.bte', 'delta battle')
data = bytearray(open('in/Turn07.zip', 'rb').read())
at = data.index(b'charlie battle')
data[at] = ord('C')
# The method field of Delta's local header (offset 8) and central header (offset 10).
for sig, field in ((b'PK\x03\x04', 8), (b'PK\x01\x02', 10)):
    pos = 0
    while True:
        pos = data.find(sig, pos)
        if pos < 0:
            break
        name_len = data[pos + (26 if sig == b'PK\x03\x04' else 28)]
        start = pos + (30 if sig == b'PK\x03\x04' else 46)
        if data[start:start + name_len] == b'Delta.bte':
            data[pos + field] = 97
        pos += 4
open('in/Turn07.zip', 'wb').write(data)
)";

}  // namespace

TEST_F(UnpackArchiveTest, APartlyExtractedZipListsExactlyTheMembersLeftOutInOneBox)
{
    Python(tmp, kPartlyDamaged);
    EXPECT_EQ(Unpack("Turn07.zip"), ops::ArchiveKind::Zip);
    ASSERT_EQ(desktop.Messages().size(), 1u);
    EXPECT_EQ(desktop.Errors(),
              (std::vector<std::string> {"Turn07.zip: 2 of 4 members were extracted into the game folder.\n"
                                         "Not extracted:\n"
                                         "    Charlie.bte: damaged: its checksum does not match, so it was not kept\n"
                                         "    Delta.bte: packed with a compression method turnex cannot unpack "
                                         "(method 97 compression is not supported)"}));
    EXPECT_EQ(TempDir::Read(tmp / "game/Alpha.bte"), "alpha battle");
    EXPECT_EQ(TempDir::Read(tmp / "game/Bravo.bte"), "bravo battle");
    EXPECT_FALSE(fs::exists(tmp / "game/Charlie.bte"));
    EXPECT_FALSE(fs::exists(tmp / "game/Delta.bte"));
}

TEST_F(UnpackArchiveTest, ALoneDamagedMemberIsToldAndTheOldBattleKept)
{
    Python(tmp, R"(import zipfile
with zipfile.ZipFile('in/Turn07.zip', 'w', zipfile.ZIP_DEFLATED) as z:
    z.writestr('Turn07.bte', 'the new turn ' * 200)
data = bytearray(open('in/Turn07.zip', 'rb').read())
data[14] ^= 0xFF  # the checksum in the local header
central = data.index(b'PK\x01\x02')
data[central + 16] ^= 0xFF
open('in/Turn07.zip', 'wb').write(data)
)");
    TempDir::Write(tmp / "game/Turn07.bte", "last turn");
    Unpack("Turn07.zip");
    EXPECT_EQ(desktop.Errors(), (std::vector<std::string> {"Turn07.zip: 0 of 1 member was extracted into the game "
                                                           "folder.\nNot extracted:\n    Turn07.bte: damaged: its "
                                                           "checksum does not match, so it was not kept"}));
    EXPECT_EQ(desktop.Messages().size(), 1u);
    EXPECT_EQ(TempDir::Read(tmp / "game/Turn07.bte"), "last turn");
}

TEST_F(UnpackArchiveTest, CancellingThePasswordEndsTheAskingForThatArchive)
{
    TempDir::Write(tmp / "src/One.bte", "one");
    TempDir::Write(tmp / "src/Two.bte", "two");
    TempDir::Write(tmp / "src/Plain.bte", "plain");
    const std::string src = "cd '" + tmp.path() + "/src' && ";
    ASSERT_EQ(std::system((src + "zip -q -P secret ../in/Turn07.zip One.bte Two.bte").c_str()), 0);
    ASSERT_EQ(std::system((src + "zip -q ../in/Turn07.zip Plain.bte").c_str()), 0);
    Unpack("Turn07.zip");  // no answer queued: the prompt is cancelled
    EXPECT_EQ(desktop.Of(Shown::Password).size(), 1u);
    EXPECT_EQ(desktop.Errors(), (std::vector<std::string> {"Turn07.zip: 1 of 3 members were extracted into the game "
                                                           "folder.\nNot extracted:\n"
                                                           "    One.bte: wrong or missing password\n"
                                                           "    Two.bte: wrong or missing password"}));
    EXPECT_EQ(TempDir::Read(tmp / "game/Plain.bte"), "plain");
    EXPECT_FALSE(fs::exists(tmp / "game/One.bte"));

    // The right password: everything, and the success text.
    desktop.shown.clear();
    desktop.passwordAnswers = {{true, "secret"}};
    Unpack("Turn07.zip");
    EXPECT_EQ(desktop.Messages(), (std::vector<std::string> {"File(s) extracted succesfully(unzip) !"}));
    EXPECT_EQ(TempDir::Read(tmp / "game/Two.bte"), "two");
}

TEST_F(UnpackArchiveTest, UnsafeAndEmptyArchivesSayWhatCameOut)
{
    Python(tmp, R"(import zipfile
with zipfile.ZipFile('in/Unsafe.zip', 'w') as z:
    z.writestr('Turn07.bte', 'turn')
    z.writestr('..', 'escape')
zipfile.ZipFile('in/Empty.zip', 'w').close()
)");
    Unpack("Unsafe.zip");
    EXPECT_EQ(desktop.Errors(),
              (std::vector<std::string> {"Unsafe.zip: 1 of 2 members were extracted into the game "
                                         "folder.\nNot extracted:\n    ..: its name is unsafe (it leads out of the "
                                         "folder, holds control characters, or is too long or too deep)"}));
    desktop.shown.clear();
    Unpack("Empty.zip");
    EXPECT_EQ(desktop.Errors(), (std::vector<std::string> {"Empty.zip holds no files: nothing was extracted."}));
    EXPECT_EQ(desktop.Messages().size(), 1u);
}

TEST_F(UnpackArchiveTest, AVeryLongListOfMembersLeftOutIsCountedNotShownWhole)
{
    Python(tmp, R"(import zipfile
with zipfile.ZipFile('in/Many.zip', 'w') as z:
    z.writestr('Turn07.bte', 'turn')
    for i in range(30):
        z.writestr('sub%02d/..' % i, 'escape')
)");
    Unpack("Many.zip");
    ASSERT_EQ(desktop.Errors().size(), 1u);
    const std::string text = desktop.Errors()[0];
    EXPECT_EQ(text.rfind("Many.zip: 1 of 31 members were extracted", 0), 0u) << text;
    EXPECT_NE(text.find("sub19\\..: its name is unsafe"), std::string::npos) << text;
    EXPECT_EQ(text.find("sub20\\.."), std::string::npos) << text;
    EXPECT_NE(text.find("\n    ... and 10 more."), std::string::npos) << text;
}

// A member that declares more than any battle file, and one with an escape sequence in its name:
// both are refused, and the box says which and why, while the good old turn stays.
TEST_F(UnpackArchiveTest, TheBoxListsEachRefusedMemberWithItsReason)
{
    Python(tmp, R"(import struct, zipfile
with zipfile.ZipFile('in/Turn07.zip', 'w', zipfile.ZIP_DEFLATED) as z:
    z.writestr('Turn07.bte', bytes(4096))
    z.writestr('Turn\x1b[2J08.bte', 'escape')
    z.writestr('Notes.txt', 'notes')
data = bytearray(open('in/Turn07.zip', 'rb').read())
for sig, size_at in ((b'PK\x03\x04', 22), (b'PK\x01\x02', 24)):
    struct.pack_into('<I', data, data.find(sig) + size_at, 2 << 30)  # Turn07.bte comes first
open('in/Turn07.zip', 'wb').write(data)
)");
    TempDir::Write(tmp / "game/Turn07.bte", "last turn");
    Unpack("Turn07.zip");
    EXPECT_EQ(desktop.Errors(), (std::vector<std::string> {
                                    "Turn07.zip: 1 of 3 members were extracted into the game folder.\n"
                                    "Not extracted:\n"
                                    "    Turn07.bte: could not be unpacked (it declares 2.0 GB, more than the 1.0 GB "
                                    "a member may hold)\n"
                                    "    Turn?[2J08.bte: its name is unsafe (it leads out of the folder, holds control "
                                    "characters, or is too long or too deep)"}));
    EXPECT_EQ(desktop.Messages().size(), 1u);
    EXPECT_EQ(TempDir::Read(tmp / "game/Turn07.bte"), "last turn");
    EXPECT_EQ(TempDir::Read(tmp / "game/Notes.txt"), "notes");
}
