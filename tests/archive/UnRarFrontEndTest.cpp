// ExtractRarArchive with the real library on the shared RAR corpus: what lands in the game
// directory and which message boxes the user sees, in order.
#include "archive/RarExtraction.h"
#include "support/ScriptedDesktop.h"
#include "support/TempDir.h"
#include "RarBytes.h"
#include "SharedCorpus.h"

#include <QCryptographicHash>

#include <gtest/gtest.h>

#include <filesystem>

namespace fs = std::filesystem;

namespace {

const std::string kData = TURNEX_RAR_TESTDATA;

#define REQUIRE_CORPUS() REQUIRE_SHARED_DATA(fs::exists(kData + "/MANIFEST.tsv"), kData)

using Boxes = std::vector<std::pair<std::string, std::string>>;  // text, caption
using Pairs = std::vector<std::pair<std::string, std::string>>;

Boxes ShownBoxes(const ScriptedDesktop& desktop)
{
    Boxes out;
    for (const auto& s : desktop.shown) {
        EXPECT_EQ(s.kind, Shown::Box);
        EXPECT_EQ(s.flags, base::MB_OK);
        out.emplace_back(s.text, s.caption);
    }
    return out;
}

std::string Sha256Of(const std::string& file)
{
    return QCryptographicHash::hash(QByteArray::fromStdString(TempDir::Read(file)), QCryptographicHash::Sha256)
        .toHex()
        .toStdString();
}

const std::pair<std::string, std::string> kSuccess {"File(s) extracted succesfully(unrar) !", "Success"};
const std::string kHtmlSha = "ee16390e87152d7dec632ae2b37566da6135966e46b5166e6f40a1c827fa61ad";
const std::string kTestTxtSha = "5a5f16e01faf8adf92eb4499a2d3e93010c4b41dbb7f698f4a8466d9f58e6dd2";
const std::string kStestSha = "2eaebb4c18cdef7f20089f8a2fa3475bc59c2a193f66e2f1513609a4bef13e22";

}  // namespace

TEST(UnRarFrontEnd, ArchivesOfBothLayoutsAreUnpackedWithOneSuccessMessage)
{
    REQUIRE_CORPUS();
    struct Case {
        const char* archive;
        std::vector<std::pair<std::string, std::string>> files;  // path, sha256
    };
    const std::vector<Case> cases = {
        {"r3_solid.rar", {{"stest1.txt", kStestSha}, {"stest2.txt", kStestSha}}},
        {"r3_compressed_best.rar",
         {{"LibarchiveAddingTest.html", kHtmlSha},
          {"testdir/test.txt", kTestTxtSha},
          {"testdir/LibarchiveAddingTest.html", kHtmlSha}}},
        {"r2_audio_compression.rar",
         {{"BoatModernEnglish.wav", "0aeeb3c12f01d7089ca83eb321d5a54673ba0e6011231f5bc1fa10102ea3d797"},
          {"LICENSE.txt", "ad43c21d4e68b2dcd345bf2dfe6f40082d1a54f8ba9e61b629ad5adcefa01ff1"}}},
        {"r5_solid.rar",
         {{"test.bin", "588870a2dade35c2650fbb7898c9a9c7f21fce7c281198604e8d0c9737f2c375"},
          {"test6.bin", "0b79ce23670b7c2e5a0d4b62f0de7b0c745522be9ed6a9ec70da6991c2f010f2"}}},
        {"r5_subdirs_unicode.rar",
         {{"sub/üȵĩöḋè/file.txt", "8b911a8716b94442f9ca3dff20584048536e4c2f47b8b5bb9096cbd43c3432d5"},
          {"sub/with space/long fn.txt", "e708f3c52269d19a8ac86b5934ff9cf2a80c696cb04a66a435e96f9ca44f7c18"}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.archive);
        TempDir game;
        ScriptedDesktop desktop;
        archive::ExtractRarArchive(kData + "/" + c.archive, game.path());
        EXPECT_EQ(ShownBoxes(desktop), Boxes {kSuccess});
        for (const auto& [file, sha] : c.files)
            EXPECT_EQ(Sha256Of(game / file), sha) << file;
    }
}

TEST(UnRarFrontEnd, CommentComesFirstThenTheMembers)
{
    REQUIRE_CORPUS();
    for (const auto& [archive, comment] :
         Boxes {{"r3_comment.rar", "RARcomment\n"}, {"r5_comment_blake2.rar", "RAR5 archive - blake\n"}}) {
        TempDir game;
        ScriptedDesktop desktop;
        archive::ExtractRarArchive(kData + "/" + archive, game.path());
        EXPECT_EQ(ShownBoxes(desktop), (Boxes {{comment, "Comment"}, kSuccess})) << archive;
        EXPECT_EQ(std::distance(fs::directory_iterator(game.path()), {}), 2) << archive;
    }
}

TEST(UnRarFrontEnd, ArchivesThatCannotBeOpened)
{
    REQUIRE_CORPUS();
    TempDir game;
    {
        ScriptedDesktop desktop;
        archive::ExtractRarArchive(kData + "/not_a_rar.rar", game.path());
        EXPECT_EQ(ShownBoxes(desktop), (Boxes {{"File is not valid RAR archive", "unRAR - Open error"}}));
    }
    {
        ScriptedDesktop desktop;
        archive::ExtractRarArchive(kData + "/no_such_archive.rar", game.path());
        EXPECT_EQ(ShownBoxes(desktop), (Boxes {{"File open error", "unRAR - Open error"}}));
    }
    EXPECT_TRUE(fs::is_empty(game.path()));
}

TEST(UnRarFrontEnd, EncryptedHeadersOfBothLayoutsAreNamedAtOpen)
{
    REQUIRE_CORPUS();
    TempDir tmp;
    TempDir::Write(tmp / "locked5.rar", rarbytes::Rar5EncryptedHeaders());
    for (const auto& [path, name] : Pairs {{kData + "/r3_encrypted_headers.rar", "r3_encrypted_headers.rar"},
                                           {tmp / "locked5.rar", "locked5.rar"}}) {
        ScriptedDesktop desktop;
        archive::ExtractRarArchive(path, tmp / "game");
        EXPECT_EQ(ShownBoxes(desktop), (Boxes {{"The RAR archive \"" + name +
                                                    "\" is protected by a password; turnex cannot unpack "
                                                    "encrypted RAR archives.",
                                                "unRAR - Open error"}}));
    }
    EXPECT_FALSE(fs::exists(tmp / "game"));
}

TEST(UnRarFrontEnd, FormatTooOldOrTooNewIsNamedAtOpen)
{
    TempDir tmp;
    std::string later = rarbytes::Rar5({rarbytes::File("turn.bte", "x")});
    later[6] = '\x02';
    TempDir::Write(tmp / "later.rar", later);
    TempDir::Write(tmp / "older.rar", std::string("RE~^\x00\x00\x00\x00", 8));
    for (const char* name : {"later.rar", "older.rar"}) {
        ScriptedDesktop desktop;
        archive::ExtractRarArchive(tmp / name, tmp / "game");
        EXPECT_EQ(ShownBoxes(desktop), (Boxes {{"The RAR archive \"" + std::string(name) +
                                                    "\" is in a format version too old or too new for turnex; "
                                                    "turnex cannot unpack it.",
                                                "unRAR - Open error"}}));
    }
    EXPECT_FALSE(fs::exists(tmp / "game"));
}

TEST(UnRarFrontEnd, Rar20FileCommentsDoNotStopTheMembers)
{
    TempDir tmp;
    rarbytes::Entry first = rarbytes::File("first.bte", "first battle\r\n");
    first.comment = "Turn 3, your move";
    rarbytes::Entry second = rarbytes::File("second.bte", "second battle\r\n");
    second.comment = "Second comment";
    const std::string arc = rarbytes::Rar4({first, second});
    TempDir::Write(tmp / "turn.rar", arc);
    fs::create_directory(tmp / "game");
    fs::create_directory(tmp / "damaged");
    {
        ScriptedDesktop desktop;
        archive::ExtractRarArchive(tmp / "turn.rar", tmp / "game");
        EXPECT_EQ(ShownBoxes(desktop), Boxes {kSuccess});
        EXPECT_EQ(TempDir::Read(tmp / "game/first.bte"), "first battle\r\n");
        EXPECT_EQ(TempDir::Read(tmp / "game/second.bte"), "second battle\r\n");
    }
    std::string damaged = arc;
    damaged[damaged.find("second.bte")] ^= 0x01;  // covered by neither CRC rule
    TempDir::Write(tmp / "damaged.rar", damaged);
    ScriptedDesktop desktop;
    archive::ExtractRarArchive(tmp / "damaged.rar", tmp / "damaged");
    EXPECT_EQ(ShownBoxes(desktop), (Boxes {{"File header broken", "unRAR - read error"}}));
    EXPECT_EQ(TempDir::Read(tmp / "damaged/first.bte"), "first battle\r\n");
    EXPECT_EQ(std::distance(fs::directory_iterator(tmp / "damaged"), {}), 1);
}

TEST(UnRarFrontEnd, SelfExtractingArchiveIsUnpackedLikeAPlainOne)
{
    REQUIRE_CORPUS();
    TempDir tmp;
    TempDir::Write(tmp / "turn.rar", "MZ" + std::string(5000, '\x90') + TempDir::Read(kData + "/r5_stored.rar"));
    fs::create_directory(tmp / "game");
    ScriptedDesktop desktop;
    archive::ExtractRarArchive(tmp / "turn.rar", tmp / "game");
    EXPECT_EQ(ShownBoxes(desktop), Boxes {kSuccess});
    EXPECT_EQ(Sha256Of(tmp / "game/helloworld.txt"),
              "fef9ad8cf601b43f76c6320075f62267c6e5c0a526d750a70b80c919a4a0aad8");
}

TEST(UnRarFrontEnd, DamagedMemberStopsTheExtractionAndKeepsTheOldFile)
{
    REQUIRE_CORPUS();
    TempDir game;
    TempDir::Write(game / "test.txt", "my good battle");
    ScriptedDesktop desktop;
    archive::ExtractRarArchive(kData + "/r3_crc_damaged.rar", game.path());
    EXPECT_EQ(ShownBoxes(desktop), (Boxes {{"File CRC error", "unRAR - Extract error"}}));
    EXPECT_EQ(TempDir::Read(game / "test.txt"), "my good battle");
    EXPECT_FALSE(fs::exists(fs::symlink_status(game / "testlink")));  // after it: not attempted
    EXPECT_EQ(std::distance(fs::directory_iterator(game.path()), {}), 1);
}

TEST(UnRarFrontEnd, TruncatedArchiveKeepsTheMembersBeforeTheDamage)
{
    REQUIRE_CORPUS();
    TempDir game;
    ScriptedDesktop desktop;
    archive::ExtractRarArchive(kData + "/r3_truncated.rar", game.path());
    EXPECT_EQ(ShownBoxes(desktop), (Boxes {{"File CRC error", "unRAR - Extract error"}}));
    EXPECT_EQ(Sha256Of(game / "LibarchiveAddingTest.html"), kHtmlSha);
    EXPECT_EQ(Sha256Of(game / "testdir/test.txt"), kTestTxtSha);
    EXPECT_FALSE(fs::exists(game / "testdir/LibarchiveAddingTest.html"));
}

TEST(UnRarFrontEnd, PathTraversalIsRefusedAndWritesNothingOutside)
{
    REQUIRE_CORPUS();
    TempDir root;
    fs::create_directory(root / "game");
    ScriptedDesktop desktop;
    archive::ExtractRarArchive(kData + "/r3_dotdot_name.rar", root / "game");
    EXPECT_EQ(ShownBoxes(desktop),
              (Boxes {{"\"../extract_evil/pwned.txt\" in the RAR archive \"r3_dotdot_name.rar\" was "
                       "not unpacked: its name is unsafe (it leads out of the folder, holds control "
                       "characters, or is too long or too deep).",
                       "unRAR - Extract error"}}));
    EXPECT_FALSE(fs::exists(root / "extract_evil"));
    EXPECT_TRUE(fs::is_empty(root / "game"));
}

TEST(UnRarFrontEnd, RefusedMemberIsNamedWithTheReasonAndTheFilesBeforeItStay)
{
    using rarbytes::File;
    auto declaring = [](rarbytes::Entry e, uint64_t size) {
        e.declaredSize = size;
        return e;
    };
    const std::string start = " in the RAR archive \"turn07.rar\" was not unpacked: ";
    const std::vector<std::pair<std::string, std::string>> cases = {
        // A link to the game folder itself, then a link through it that would replace the turn file.
        {rarbytes::Rar5({File("maps/Island.map", "map"), rarbytes::Redirect5("up", 1, "."),
                         rarbytes::Redirect5("up/Turn07.bte", 1, "../x"), File("After.bte", "x")}),
         "\"up/Turn07.bte\"" + start + "it would be written through a link, or point out of the folder."},
        {rarbytes::Rar4({File("maps/Island.map", "map"), rarbytes::Symlink4("up", "."),
                         rarbytes::Symlink4("up/Turn07.bte", "../x"), File("After.bte", "x")}),
         "\"up/Turn07.bte\"" + start + "it would be written through a link, or point out of the folder."},
        {rarbytes::Rar4({File("maps/Island.map", "map"),
                         File("x/Turn\x1B"
                              "07.bte",
                              "x"),
                         File("After.bte", "x")}),
         "\"x/Turn?07.bte\"" + start +
             "its name is unsafe (it leads out of the folder, holds control characters, or is too long or too deep)."},
        {rarbytes::Rar5({File("maps/Island.map", "map"), declaring(File("Turn07.bte", "x"), uint64_t {5} << 30),
                         File("After.bte", "x")}),
         "\"Turn07.bte\"" + start + "it declares 5.0 GB, more than the 1.0 GB a member may hold."},
        {rarbytes::Rar5({File("maps/Island.map", "map"), declaring(File("Turn07.bte", std::string(3000, 'F')), 1000),
                         File("After.bte", "x")}),
         "\"Turn07.bte\"" + start + "it grew past the 1000 bytes it declares; the archive is damaged or forged."},
    };
    for (const auto& [bytes, text] : cases) {
        SCOPED_TRACE(text);
        TempDir tmp;
        TempDir::Write(tmp / "turn07.rar", bytes);
        TempDir::Write(tmp / "game/Turn07.bte", "good turn");
        ScriptedDesktop desktop;
        archive::ExtractRarArchive(tmp / "turn07.rar", tmp / "game");
        EXPECT_EQ(ShownBoxes(desktop), (Boxes {{text, "unRAR - Extract error"}}));
        EXPECT_EQ(TempDir::Read(tmp / "game/maps/Island.map"), "map");
        EXPECT_FALSE(fs::exists(tmp / "game/After.bte"));  // after the refused one: not attempted
        EXPECT_EQ(TempDir::Read(tmp / "game/Turn07.bte"), "good turn");
        EXPECT_FALSE(fs::exists(tmp / "x"));
    }
}

TEST(UnRarFrontEnd, MissingNextVolumeNamesTheMemberThatContinuesThere)
{
    REQUIRE_CORPUS();
    TempDir game;
    ScriptedDesktop desktop;
    archive::ExtractRarArchive(kData + "/r3_volume.part1.rar", game.path());
    EXPECT_EQ(ShownBoxes(desktop), (Boxes {{"\"vols/bigfile.txt\" continues in the next volume of the RAR archive "
                                            "\"r3_volume.part1.rar\", and that volume is missing; turnex cannot "
                                            "unpack the file without it.",
                                            "unRAR - Extract error"}}));
    EXPECT_FALSE(fs::exists(game / "vols/bigfile.txt"));
}

TEST(UnRarFrontEnd, MemberSplitAcrossPresentVolumesIsNamedToo)
{
    TempDir tmp;
    rarbytes::Entry split = rarbytes::File("big.bte", "first part of the battle");
    split.splitAfter = true;
    TempDir::Write(tmp / "turn.part1.rar", rarbytes::Rar5({split}, 0x01));
    TempDir::Write(tmp / "turn.part2.rar", "");
    fs::create_directory(tmp / "game");
    ScriptedDesktop desktop;
    archive::ExtractRarArchive(tmp / "turn.part1.rar", tmp / "game");
    EXPECT_EQ(ShownBoxes(desktop), (Boxes {{"\"big.bte\" continues in the next volume of the RAR archive "
                                            "\"turn.part1.rar\"; turnex cannot unpack files split across volumes.",
                                            "unRAR - Extract error"}}));
}

TEST(UnRarFrontEnd, EncryptedMemberIsNamedAfterThePlainOnesBeforeIt)
{
    REQUIRE_CORPUS();
    for (const auto& [archive, member] :
         Pairs {{"r3_encrypted_data_mixed.rar", "b.txt"}, {"r5_encrypted_data.rar", "stest1.txt"}}) {
        TempDir game;
        ScriptedDesktop desktop;
        archive::ExtractRarArchive(kData + "/" + archive, game.path());
        Boxes expected;
        if (archive == "r5_encrypted_data.rar")
            expected.emplace_back("RAR5 archive - nohdr-password\n", "Comment");
        expected.emplace_back("\"" + member + "\" in the RAR archive \"" + archive +
                                  "\" is protected by a password; turnex cannot unpack encrypted RAR archives.",
                              "unRAR - Extract error");
        EXPECT_EQ(ShownBoxes(desktop), expected);
        EXPECT_FALSE(fs::exists(game / member));
        if (archive == "r3_encrypted_data_mixed.rar") {
            EXPECT_TRUE(fs::exists(game / "a.txt"));
            EXPECT_FALSE(fs::exists(game / "c.txt"));  // after the encrypted one: not attempted
        }
    }
}

TEST(UnRarFrontEnd, DriveLetterPathsGoThroughTheWinePrefix)
{
    REQUIRE_CORPUS();
    TempDir prefix;
    ScopedWinePrefix scoped(prefix.path());
    fs::create_directories(prefix / "drive_c/Games/Iron Plain");
    fs::create_directories(prefix / "drive_c/Mail/In");
    fs::copy_file(kData + "/r5_stored.rar", prefix / "drive_c/Mail/In/turn.rar");
    ScriptedDesktop desktop;
    archive::ExtractRarArchive("c:\\mail\\in\\turn.rar", "C:\\Games\\Iron Plain");
    EXPECT_EQ(ShownBoxes(desktop), Boxes {kSuccess});
    EXPECT_EQ(Sha256Of(prefix / "drive_c/Games/Iron Plain/helloworld.txt"),
              "fef9ad8cf601b43f76c6320075f62267c6e5c0a526d750a70b80c919a4a0aad8");
}
