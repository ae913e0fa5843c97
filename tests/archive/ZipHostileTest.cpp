// Hostile zip archives through the zip component and the real unzip library: members in another
// letter case, bombs, sizes past what a member may hold or past what it declares, control
// characters, deep names, links and a run killed halfway. Each time a good file of the same name
// stays as it was, and nothing changes outside the destination.
#include "archive/ZipComponent.h"
#include "ops/TurnZip.h"
#include "support/ScriptedDesktop.h"
#include "support/TempDir.h"
#include "ZipTestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <filesystem>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

const std::string kLibs = ZIP_LIB_DIR;

using Lines = std::vector<std::string>;
using Skips = std::vector<std::pair<std::string, UnZipSkipTypes>>;

bool StartsWith(const std::string& text, const std::string& start) { return text.rfind(start, 0) == 0; }

// Python's zipfile writes what it is told; patch() then makes a member declare another size in
// both its headers.
const std::string kPatch = R"(import struct, zipfile
def patch(path, name, size):
    data = bytearray(open(path, 'rb').read())
    for sig, name_at, size_at, start in ((b'PK\x03\x04', 26, 22, 30), (b'PK\x01\x02', 28, 24, 46)):
        pos = data.find(sig)
        while pos >= 0:
            n = struct.unpack_from('<H', data, pos + name_at)[0]
            if data[pos + start:pos + start + n] == name.encode():
                struct.pack_into('<I', data, pos + size_at, size)
            pos = data.find(sig, pos + 4)
    open(path, 'wb').write(data)
def bomb(path, megabytes):
    with zipfile.ZipFile(path, 'w', zipfile.ZIP_DEFLATED) as z:
        with z.open('Battle.bte', 'w') as member:
            zeros = bytes(1 << 20)
            for _ in range(megabytes):
                member.write(zeros)
        z.writestr('Notes.txt', 'the notes')
)";

class ZipHostile : public ::testing::Test {
protected:
    void SetUp() override
    {
        char buf[4096];
        cwd = getcwd(buf, sizeof buf);
        ops::SetUpTurnZip(zip);  // the window's settings: replace without asking, folder names dropped
        zip.SetDLLDirectory(kLibs);
        fs::create_directories(tmp / "in");
        fs::create_directories(game);
        zip.OnMessage = [this](ZipComponent*, int32_t code, const std::string& text) {
            if (code != 0)
                libraryMessages.push_back(text);
        };
    }
    void TearDown() override { EXPECT_EQ(chdir(cwd.c_str()), 0); }

    void Python(const std::string& script)
    {
        TempDir::Write(tmp / "make.py", kPatch + script);
        ASSERT_EQ(std::system(("cd '" + tmp.path() + "' && python3 make.py").c_str()), 0);
    }
    // Extracts, and checks that nothing changed beside dest (the system's temporary folder is
    // one of the test's) and that no temporary file stayed in it.
    void Unpack(const std::string& archive, const std::string& dest)
    {
        const auto around = ziptest::Surroundings(tmp.path(), dest);
        libraryMessages.clear();
        zip.SetZipFileName(archive);
        zip.ExtrBaseDir = dest;
        zip.Extract();
        EXPECT_EQ(ziptest::Surroundings(tmp.path(), dest), around) << "something changed outside " << dest;
        EXPECT_EQ(ziptest::PartFiles(dest), Lines {});
    }
    Skips Skipped() const
    {
        Skips out;
        for (const auto& s : zip.SkippedMembers)
            out.emplace_back(s.name, s.kind);
        return out;
    }

    TempDir tmp;
    ziptest::ScopedTmpDir systemTmp {tmp / "system-tmp"};
    ScriptedDesktop desktop;
    ZipComponent zip;
    std::string cwd;
    std::string game = tmp / "game";
    Lines libraryMessages;
};

}  // namespace

TEST_F(ZipHostile, AMemberInAnotherLetterCaseTakesTheSpellingOfWhatIsThere)
{
    Python(R"(
with zipfile.ZipFile('in/case.zip', 'w') as z:
    z.writestr('TURN07.BTE', 'the new turn')
    z.writestr('MAPS/Hill.map', 'a hill')
)");
    TempDir::Write(game + "/Turn07.bte", "the old turn");
    fs::create_directories(game + "/Maps");

    // The window's settings drop the folder names.
    Unpack(tmp / "in/case.zip", game);
    EXPECT_EQ(zip.SuccessCount, 2);
    EXPECT_EQ(TempDir::Listing(game), (Lines {"Hill.map", "Maps", "Turn07.bte"}));
    EXPECT_EQ(TempDir::Read(game + "/Turn07.bte"), "the new turn");

    // With folder names the member goes into the folder that is there.
    fs::remove(game + "/Hill.map");
    TempDir::Write(game + "/Turn07.bte", "the old turn");
    zip.ExtrOptions.Include(ExtrDirNames);
    Unpack(tmp / "in/case.zip", game);
    EXPECT_EQ(zip.SuccessCount, 2);
    EXPECT_EQ(TempDir::Listing(game), (Lines {"Maps", "Maps/Hill.map", "Turn07.bte"}));
    EXPECT_EQ(TempDir::Read(game + "/Turn07.bte"), "the new turn");
    EXPECT_EQ(TempDir::Read(game + "/Maps/Hill.map"), "a hill");
}

TEST_F(ZipHostile, AMemberOf200MBExtractsWhenThereIsRoomAndIsRefusedBeforeWritingWhenThereIsNot)
{
    Python("bomb('in/bomb.zip', 200)\n");
    EXPECT_LT(fs::file_size(tmp / "in/bomb.zip"), 1u << 20);  // a bomb: a small file that declares much
    Unpack(tmp / "in/bomb.zip", game);
    EXPECT_EQ(zip.SuccessCount, 2);
    EXPECT_EQ(Skipped(), Skips {});
    EXPECT_EQ(fs::file_size(game + "/Battle.bte"), 200u << 20);
    fs::remove(game + "/Battle.bte");

    ziptest::SmallDisk disk(tmp / "small", "256k");
    if (!disk.Mounted())
        GTEST_SKIP() << "a small disk needs root and a tmpfs: the refusal for lack of space was not tried";
    TempDir::Write(tmp / "small/Battle.bte", "the good battle");
    Unpack(tmp / "in/bomb.zip", tmp / "small");
    EXPECT_EQ(zip.SuccessCount, 1);
    EXPECT_EQ(Skipped(), (Skips {{"Battle.bte", stExtractError}}));
    ASSERT_EQ(libraryMessages.size(), 1u);
    EXPECT_TRUE(StartsWith(libraryMessages[0], "Cannot extract Battle.bte: it declares 200.0 MB; the disk has "))
        << libraryMessages[0];
    EXPECT_EQ(TempDir::Read(tmp / "small/Battle.bte"), "the good battle");
    EXPECT_EQ(TempDir::Read(tmp / "small/Notes.txt"), "the notes");
}

TEST_F(ZipHostile, AMemberPastTheLimitOrPastWhatItDeclaresIsRefusedAndTheGoodFileKept)
{
    Python(R"(
with zipfile.ZipFile('in/sizes.zip', 'w', zipfile.ZIP_DEFLATED) as z:
    z.writestr('Huge.bte', bytes(65536))
    z.writestr('Grows.bte', bytes(1 << 20))
    z.writestr('Fine.bte', 'a fine turn')
patch('in/sizes.zip', 'Huge.bte', 2 << 30)
patch('in/sizes.zip', 'Grows.bte', 1000)
)");
    TempDir::Write(game + "/Huge.bte", "the good huge one");
    TempDir::Write(game + "/Grows.bte", "the good growing one");
    Unpack(tmp / "in/sizes.zip", game);
    EXPECT_EQ(zip.SuccessCount, 1);
    EXPECT_EQ(Skipped(), (Skips {{"Huge.bte", stExtractError}, {"Grows.bte", stExtractError}}));
    EXPECT_EQ(libraryMessages,
              (Lines {"Cannot extract Huge.bte: it declares 2.0 GB, more than the 1.0 GB a member may hold",
                      "Cannot extract Grows.bte: it grew past the 1000 bytes it declares; the archive is damaged or "
                      "forged"}));
    EXPECT_EQ(TempDir::Read(game + "/Huge.bte"), "the good huge one");
    EXPECT_EQ(TempDir::Read(game + "/Grows.bte"), "the good growing one");
    EXPECT_EQ(TempDir::Read(game + "/Fine.bte"), "a fine turn");
}

TEST_F(ZipHostile, ControlCharactersAndDeepNamesAreRefusedWithNothingCreated)
{
    Python(R"(
with zipfile.ZipFile('in/names.zip', 'w') as z:
    z.writestr('Turn\n07.bte', 'a newline')
    z.writestr('Turn\x1b[2J07.bte', 'an escape')
    z.writestr('d/' * 2100 + 'Deep.bte', 'deep')
    z.writestr('Plain.bte', 'plain')
)");
    const Skips controls = {{"Turn?07.bte", stUnsafeName}, {"Turn?[2J07.bte", stUnsafeName}};

    // Without folder names the deep member is just its last part.
    Unpack(tmp / "in/names.zip", game);
    EXPECT_EQ(zip.SuccessCount, 2);
    EXPECT_EQ(Skipped(), controls);
    ASSERT_EQ(libraryMessages.size(), 2u);
    EXPECT_TRUE(StartsWith(libraryMessages[0], "Cannot extract Turn?07.bte: its name is unsafe")) << libraryMessages[0];
    EXPECT_TRUE(StartsWith(libraryMessages[1], "Cannot extract Turn?[2J07.bte: its name is unsafe"))
        << libraryMessages[1];
    EXPECT_EQ(TempDir::Listing(game), (Lines {"Deep.bte", "Plain.bte"}));

    // With them it is refused before a single folder is made.
    fs::remove_all(game);
    fs::create_directories(game);
    zip.ExtrOptions.Include(ExtrDirNames);
    Unpack(tmp / "in/names.zip", game);
    EXPECT_EQ(zip.SuccessCount, 1);
    const Skips skipped = Skipped();
    ASSERT_EQ(skipped.size(), 3u);
    EXPECT_EQ(Skips(skipped.begin(), skipped.begin() + 2), controls);
    EXPECT_TRUE(StartsWith(skipped[2].first, "d\\d\\d\\")) << skipped[2].first;
    EXPECT_EQ(skipped[2].second, stUnsafeName);
    EXPECT_EQ(TempDir::Listing(game), Lines {"Plain.bte"});
}

// Links are refused whatever they point at, and an existing link in the game folder is never
// followed: a chain "up -> ." then "up/Turn07.bte" can lead nowhere.
TEST_F(ZipHostile, LinksAreRefusedAndNothingIsWrittenThroughOne)
{
    Python(R"(
def link(z, name, target):
    info = zipfile.ZipInfo(name)
    info.create_system = 3
    info.external_attr = 0o120777 << 16
    z.writestr(info, target)
with zipfile.ZipFile('in/links.zip', 'w') as z:
    link(z, 'up', '.')
    z.writestr('up/Turn07.bte', 'below up')
    link(z, 'Turn08.bte', '../outside/Turn08.bte')
    z.writestr('Maps/Hill.map', 'a hill')
)");
    fs::create_directories(tmp / "outside");
    fs::create_directory_symlink("../outside", game + "/Maps");
    TempDir::Write(game + "/Turn08.bte", "the good turn 8");
    zip.ExtrOptions.Include(ExtrDirNames);
    Unpack(tmp / "in/links.zip", game);
    EXPECT_EQ(zip.SuccessCount, 1);
    EXPECT_EQ(Skipped(),
              (Skips {{"up", stUnsafeName}, {"Turn08.bte", stUnsafeName}, {"Maps\\Hill.map", stUnsafeName}}));
    ASSERT_EQ(libraryMessages.size(), 3u);
    EXPECT_EQ(libraryMessages[0], "Cannot extract up: it is a symbolic link, which could lead out of the folder");
    EXPECT_EQ(libraryMessages[2],
              "Cannot extract Maps\\Hill.map: it would be written through a link, or point out of the folder");
    EXPECT_EQ(TempDir::Listing(game), (Lines {"Maps", "Turn08.bte", "up", "up/Turn07.bte"}));
    EXPECT_FALSE(fs::is_symlink(game + "/up"));
    EXPECT_EQ(TempDir::Read(game + "/Turn08.bte"), "the good turn 8");
    EXPECT_TRUE(fs::is_empty(tmp / "outside"));
}

TEST_F(ZipHostile, AKilledExtractionLeavesNoTemporaryFileOnceTheArchiveIsExtractedAgain)
{
    Python("bomb('in/bomb.zip', 64)\n");
    TempDir::Write(game + "/Battle.bte", "the good battle");
    const pid_t child = fork();
    if (child == 0) {
        // Slowed down at every step, so that it is still at work when the kill comes.
        zip.OnProgress = [](ZipComponent*, ProgressType, const std::string&, int32_t) {
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        };
        zip.SetZipFileName(tmp / "in/bomb.zip");
        zip.ExtrBaseDir = game;
        zip.Extract();
        _exit(0);
    }
    ASSERT_GT(child, 0);
    const std::string part = game + "/Battle.bte.turnex-part";
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (!fs::exists(part) && std::chrono::steady_clock::now() < until)
        std::this_thread::sleep_for(std::chrono::microseconds(200));
    kill(child, SIGKILL);
    int status = 0;
    waitpid(child, &status, 0);
    ASSERT_TRUE(WIFSIGNALED(status)) << "the extraction ended before it was killed";
    EXPECT_EQ(ziptest::PartFiles(game), Lines {"Battle.bte.turnex-part"});
    EXPECT_EQ(TempDir::Read(game + "/Battle.bte"), "the good battle");

    Unpack(tmp / "in/bomb.zip", game);
    EXPECT_EQ(zip.SuccessCount, 2);
    EXPECT_EQ(fs::file_size(game + "/Battle.bte"), 64u << 20);
    EXPECT_EQ(TempDir::Listing(game), (Lines {"Battle.bte", "Notes.txt"}));
}

// A folder entry takes the name of a file member before that file is in place: the file then
// cannot take its place, and it is taken back from the count and named.
TEST_F(ZipHostile, AFileThatCannotTakeItsPlaceAtTheEndIsTakenBackAndNamed)
{
    Python(R"(
with zipfile.ZipFile('in/late.zip', 'w') as z:
    z.writestr('Turn07.bte', 'the new turn')
    z.writestr('Turn07.bte/', '')
    z.writestr('Notes.txt', 'the notes')
)");
    zip.ExtrOptions.Include(ExtrDirNames);
    Unpack(tmp / "in/late.zip", game);
    EXPECT_EQ(zip.SuccessCount, 1);
    EXPECT_EQ(Skipped(), (Skips {{"Turn07.bte", stExtractError}}));
    EXPECT_EQ(libraryMessages,
              Lines {"Cannot extract Turn07.bte: it could not take the place of the file of its name: Is a directory"});
    EXPECT_EQ(TempDir::Listing(game), (Lines {"Notes.txt", "Turn07.bte"}));
    EXPECT_TRUE(fs::is_directory(game + "/Turn07.bte"));
}
