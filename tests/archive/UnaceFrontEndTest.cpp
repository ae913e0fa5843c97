// ExtractAceArchive through the real libunacev2.so, which the build puts beside this test.
#include "AceArchive.h"
#include "archive/AceExtraction.h"
#include "base/ExtractionFolder.h"
#include "base/ProgramDir.h"
#include "support/ScriptedDesktop.h"
#include "support/TempDir.h"
#include "SharedCorpus.h"

#include <gtest/gtest.h>

#include <dlfcn.h>
#include <filesystem>
#include <set>

namespace fs = std::filesystem;

namespace {

const std::string kCorpus = ACE_TESTDATA_DIR;
const char* const kSuccess = "File(s) extracted succesfully(unace) !";

#define REQUIRE_CORPUS() REQUIRE_SHARED_DATA(fs::exists(kCorpus + "/t.ace"), kCorpus)

bool LibraryIsLoaded()
{
    std::string path = base::ExecutableDirectory() + "/libunacev2.so";
    void* h = dlopen(path.c_str(), RTLD_NOW | RTLD_NOLOAD);
    if (h)
        dlclose(h);
    return h != nullptr;
}

void Put16(std::string& s, size_t at, uint16_t v)
{
    s[at] = static_cast<char>(v);
    s[at + 1] = static_cast<char>(v >> 8);
}
std::string U16(uint16_t v) { return {static_cast<char>(v), static_cast<char>(v >> 8)}; }
std::string U32(uint32_t v) { return U16(static_cast<uint16_t>(v)) + U16(static_cast<uint16_t>(v >> 16)); }

// A block with its size and header CRC filled in.
std::string Block(const std::string& body)
{
    std::string b = std::string(2, '\0') + U16(static_cast<uint16_t>(body.size())) + body;
    Put16(b, 0, static_cast<uint16_t>(ace::Crc32(reinterpret_cast<const uint8_t*>(body.data()), body.size())));
    return b;
}

// A small archive of stored members, written the way the archiver lays one out; versionNeeded 20
// is the 2.0 format.
std::string StoredArchive(const std::vector<std::pair<std::string, std::string>>& members, char versionNeeded = 20)
{
    std::string main = std::string(1, '\0') + U16(0) + "**ACE**" + versionNeeded + std::string("\x14\x02\x00", 3) +
                       U32(0x41046F21) + std::string(8, '\0') + std::string(1, '\0');
    std::string out = Block(main);
    for (const auto& [name, data] : members) {
        uint32_t crc = ace::Crc32(reinterpret_cast<const uint8_t*>(data.data()), data.size());
        std::string h = std::string(1, '\1') + U16(1) + U32(static_cast<uint32_t>(data.size())) +
                        U32(static_cast<uint32_t>(data.size())) + U32(0x41046DDA) + U32(0x20) + U32(crc) +
                        std::string(4, '\0') + U16(0) + U16(static_cast<uint16_t>(name.size())) + name;
        out += Block(h) + data;
    }
    return out;
}

struct UnaceFrontEnd : ::testing::Test {
    ScriptedDesktop desktop;
    TempDir tmp;
    std::string game = tmp / "game";
    void SetUp() override { fs::create_directory(game); }

    // The one message the extraction showed.
    Shown Only()
    {
        EXPECT_EQ(desktop.shown.size(), 1u);
        return desktop.shown.empty() ? Shown {} : desktop.shown.back();
    }
};

}  // namespace

// The records keep the library's original offsets when addresses are 4 bytes wide.
TEST(UnaceRecords, FourByteAddressesGiveTheOriginalOffsets)
{
    constexpr auto init = unace::MakeAceInitLayout(4);
    static_assert(init.fixedValue1 == 4 && init.fixedValue2 == 8 && init.commentBuffer == 12 &&
                  init.commentBufferSize == 16 && init.tempDir == 96 && init.size == 320);
    constexpr auto data = unace::MakeAceArchiveDataLayout(4);
    static_assert(data.archiveInfo == 0 && data.size == 68);
    constexpr auto ex = unace::MakeAceExtractLayout(4);
    static_assert(ex.baseDir == 0 && ex.fileList == 4 && ex.excludeList == 8 && ex.options == 12 &&
                  ex.destinationDir == 80 && ex.flags == 84 && ex.extraText == 88 && ex.size == 156);
    // And with this program's addresses every field still has room of its own.
    constexpr auto wide = unace::MakeAceExtractLayout(8);
    EXPECT_EQ(wide.destinationDir % 8, 0u);
    EXPECT_GE(wide.flags, wide.destinationDir + 8);
    EXPECT_GE(wide.size, wide.extraText + 8);
    EXPECT_EQ(unace::kAceExtractRecord.size, unace::MakeAceExtractLayout(sizeof(void*)).size);
}

TEST_F(UnaceFrontEnd, ExtractsIntoTheGameDirectoryAndSaysSo)
{
    REQUIRE_CORPUS();
    TempDir::Write(game + "/t/t.txt", "an older turn");    // replaced
    archive::ExtractAceArchive(kCorpus + "/t.ace", game);  // no trailing separator
    Shown s = Only();
    EXPECT_EQ(s.kind, Shown::Box);
    EXPECT_EQ(s.text, kSuccess);
    EXPECT_EQ(s.caption, "Success");
    EXPECT_EQ(s.flags, base::MB_OK);
    EXPECT_EQ(TempDir::Read(game + "/t/t.txt"), "42");
    EXPECT_FALSE(LibraryIsLoaded());
}

TEST_F(UnaceFrontEnd, GameDirectoryWithDriveLetterMapsThroughTheWinePrefix)
{
    REQUIRE_CORPUS();
    ScopedWinePrefix prefix(tmp / "wine");
    fs::create_directories(tmp / "wine/drive_c/Games/Iron Plain");
    archive::ExtractAceArchive(kCorpus + "/ace_nested2.ace", "C:\\Games\\Iron Plain");
    EXPECT_EQ(Only().text, kSuccess);
    size_t files = 0;
    for (auto& e : fs::recursive_directory_iterator(tmp / "wine/drive_c/Games/Iron Plain"))
        files += e.is_regular_file();
    EXPECT_EQ(files, 1u);
}

TEST_F(UnaceFrontEnd, NotAnAceArchiveReleasesTheLibraryAndTheNextExtractionLoadsItAgain)
{
    REQUIRE_CORPUS();
    TempDir::Write(tmp / "turn.ace", "PK\3\4 this is a zip file really");
    archive::ExtractAceArchive(tmp / "turn.ace", game);
    Shown s = Only();
    EXPECT_EQ(s.text, "No ACE-archive!");
    EXPECT_EQ(s.caption, "ACE Extract Error");
    EXPECT_EQ(s.flags, base::MB_OK);
    EXPECT_FALSE(LibraryIsLoaded());
    EXPECT_TRUE(fs::is_empty(game));

    desktop.shown.clear();
    archive::ExtractAceArchive(kCorpus + "/t.ace", game);
    EXPECT_EQ(Only().text, kSuccess);
    EXPECT_TRUE(fs::exists(game + "/t/t.txt"));
}

// Success is claimed only when the library reports it; otherwise the message says what failed.
TEST_F(UnaceFrontEnd, FailuresAreReportedNotCelebrated)
{
    REQUIRE_CORPUS();
    struct Case {
        std::string archive;
        int result;
        std::string leftOut = "";  // the lines naming the members left out
    };
    std::string damaged = TempDir::Read(kCorpus + "/Ace.method1.ace");
    damaged[damaged.size() - 700] ^= 0x40;
    TempDir::Write(tmp / "damaged.ace", damaged);
    TempDir::Write(tmp / "cut.ace", TempDir::Read(kCorpus + "/license1.ace").substr(0, 2000));
    TempDir::Write(tmp / "escape.ace", StoredArchive({{"ok.bte", "fine"}, {"..\\..\\escape.bte", "evil"}}));
    for (const Case& c :
         {Case {kCorpus + "/Ace.encrypted.ace", unace::kAceErrorEncrypted},
          Case {kCorpus + "/passwd.ace", unace::kAceErrorEncrypted},
          Case {kCorpus + "/multivolume.ace", unace::kAceErrorMultiVolume},
          Case {kCorpus + "/Ace.store.split.ace", unace::kAceErrorMultiVolume},
          Case {kCorpus + "/dirtraversal1.ace", unace::kAceErrorDamaged},
          Case {tmp / "damaged.ace", unace::kAceErrorDamaged}, Case {tmp / "cut.ace", unace::kAceErrorDamaged},
          Case {tmp / "escape.ace", unace::kAceErrorUnsafeName,
                "\nNot extracted:\n    ..\\..\\escape.bte: " + base::Describe({base::Refusal::UnsafeName})}}) {
        SCOPED_TRACE(c.archive);
        desktop.shown.clear();
        archive::ExtractAceArchive(c.archive, game);
        Shown s = Only();
        EXPECT_EQ(s.caption, "ACE Extract Error");
        EXPECT_EQ(s.text, archive::AceExtractErrorText(c.result) + c.leftOut);
        EXPECT_NE(s.text.find("failed"), std::string::npos);
        EXPECT_FALSE(LibraryIsLoaded());
    }
    EXPECT_FALSE(fs::exists(tmp / "escape.bte"));
    EXPECT_FALSE(fs::exists(game + "/ok.bte")) << "an archive with an unsafe name is refused whole";
    // Whatever a damaged archive left in the game directory is whole: no temporary files.
    for (auto& e : fs::recursive_directory_iterator(game))
        EXPECT_EQ(e.path().filename().string().find(".turnex-"), std::string::npos) << e.path();
}

TEST_F(UnaceFrontEnd, FileThatCannotBeWrittenIsReported)
{
    REQUIRE_CORPUS();
    fs::create_directories(game + "/t/t.txt");  // a folder where the file should go
    archive::ExtractAceArchive(kCorpus + "/t.ace", game);
    Shown s = Only();
    EXPECT_EQ(s.caption, "ACE Extract Error");
    EXPECT_EQ(s.text, archive::AceExtractErrorText(unace::kAceErrorWrite) +
                          "\nNot extracted:\n    t\\t.txt: a folder of that name is in the way");

    desktop.shown.clear();
    archive::ExtractAceArchive(kCorpus + "/t.ace", tmp / "no such folder");
    EXPECT_EQ(Only().text, archive::AceExtractErrorText(unace::kAceErrorWrite));
}

// Every way an extraction through the real library can end shows its own message box: success
// and "no archive" in the player's known words, and each failure as an error that names its cause,
// never as success and never in the words of another outcome.
TEST_F(UnaceFrontEnd, EveryOutcomeShowsItsOwnMessage)
{
    REQUIRE_CORPUS();
    const std::string kNoArchive = "No ACE-archive!";
    const std::string kLoadError = "Could not find UnAceV2.Dll (must be in system, applicaton's or current directory)!";
    std::string damaged = TempDir::Read(kCorpus + "/license1.ace");
    damaged[damaged.size() - 300] ^= 0x08;  // inside the packed data: the CRC no longer matches
    TempDir::Write(tmp / "damaged.ace", damaged);
    TempDir::Write(tmp / "zip.ace", "PK\3\4 a zip file under the wrong name");
    TempDir::Write(tmp / "newer.ace", StoredArchive({{"turn.bte", "from the future"}}, 30));
    TempDir::Write(tmp / "escape.ace", StoredArchive({{"..\\turn.bte", "evil"}}));
    struct Outcome {
        std::string name;
        std::string archive;
        std::string gameDir;
        std::string cause;  // a word the failure message must contain; empty for the known texts
    };
    const std::vector<Outcome> outcomes = {
        {"extracted", kCorpus + "/t.ace", game, ""},
        {"not an archive", tmp / "zip.ace", game, ""},
        {"damaged", tmp / "damaged.ace", game, "damaged"},
        {"encrypted", kCorpus + "/passwd.ace", game, "encrypted"},
        {"in volumes", kCorpus + "/multivolume.ace", game, "multi-volume"},
        {"unwritable", kCorpus + "/t.ace", tmp / "no such folder", "written"},
        {"newer format", tmp / "newer.ace", game, "newer version"},
        {"unsafe name", tmp / "escape.ace", game, "outside"},
        {"no game directory", kCorpus + "/t.ace", "", "error"},
    };
    std::set<std::string> texts;
    for (const auto& o : outcomes) {
        SCOPED_TRACE(o.name);
        desktop.shown.clear();
        archive::ExtractAceArchive(o.archive, o.gameDir);
        const Shown s = Only();
        EXPECT_EQ(s.kind, Shown::Box);
        EXPECT_EQ(s.flags, base::MB_OK);
        texts.insert(s.text);
        if (o.name == "extracted") {
            EXPECT_EQ(s.text, kSuccess);
            EXPECT_EQ(s.caption, "Success");
            continue;
        }
        EXPECT_EQ(s.caption, "ACE Extract Error");
        if (o.name == "not an archive") {
            EXPECT_EQ(s.text, kNoArchive);
            continue;
        }
        EXPECT_NE(s.text, kSuccess);
        EXPECT_NE(s.text, kNoArchive);
        EXPECT_NE(s.text, kLoadError);
        EXPECT_NE(s.text.find("failed"), std::string::npos) << s.text;
        EXPECT_NE(s.text.find(o.cause), std::string::npos) << s.text;
    }
    EXPECT_EQ(texts.size(), outcomes.size()) << "two outcomes share a message";
    EXPECT_FALSE(fs::exists(tmp / "turn.bte"));
    EXPECT_FALSE(LibraryIsLoaded());
}

// The library's own entry points: identification of archives, also behind a stub.
TEST(UnaceLibrary, ReadArchiveDataTellsAceFromAnythingElse)
{
    REQUIRE_CORPUS();
    void* lib = dlopen((base::ExecutableDirectory() + "/libunacev2.so").c_str(), RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(lib, nullptr) << dlerror();
    auto read = reinterpret_cast<int32_t (*)(const char*, void*)>(dlsym(lib, "ACEReadArchiveData"));
    auto init = reinterpret_cast<int32_t (*)(void*)>(dlsym(lib, "ACEInitDll"));
    ASSERT_TRUE(read && init);
    char comment[64] = "untouched";
    std::array<uint8_t, unace::kAceInitRecord.size> initRecord {};
    unace::PutRecordAddress(initRecord.data(), unace::kAceInitRecord.commentBuffer, comment);
    unace::PutRecordNumber(initRecord.data(), unace::kAceInitRecord.commentBufferSize, sizeof comment);
    EXPECT_EQ(init(initRecord.data()), 0);

    TempDir tmp;
    std::string sfx(70000, 'M');
    TempDir::Write(tmp / "selfextract.exe", sfx + TempDir::Read(kCorpus + "/t.ace"));
    TempDir::Write(tmp / "empty.ace", "");
    auto isAce = [&](const std::string& path) {
        std::array<uint8_t, unace::kAceArchiveDataRecord.size> record {};
        record.fill(0xAA);
        read(path.c_str(), record.data());
        return unace::GetRecordAddress(record.data(), unace::kAceArchiveDataRecord.archiveInfo) != nullptr;
    };
    EXPECT_TRUE(isAce(kCorpus + "/ZGFX2.ace"));
    EXPECT_TRUE(isAce(tmp / "selfextract.exe"));
    EXPECT_TRUE(isAce(kCorpus + "/passwd.ace"));  // an archive, even if it cannot be extracted
    EXPECT_FALSE(isAce(tmp / "empty.ace"));
    EXPECT_FALSE(isAce(tmp / "missing.ace"));
    EXPECT_FALSE(isAce(kCorpus + "/MANIFEST.tsv"));
    EXPECT_TRUE(isAce(kCorpus + "/ALCHT.ACE"));
    EXPECT_STREQ(comment, "main comment");  // the archive comment lands in the buffer given at init
    dlclose(lib);
}
