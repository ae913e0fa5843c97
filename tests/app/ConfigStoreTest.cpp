#include "app/ConfigStore.h"
#include "base/CodePage.h"
#include "base/Errors.h"
#include "base/Paths.h"
#include "base/ProgramDir.h"
#include "base/Registry.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <filesystem>

using namespace app;
namespace fs = std::filesystem;

namespace {

class ConfigStoreTest : public ::testing::Test {
protected:
    void SetUp() override { base::SetProgramDirectory(tmp.path()); }
    std::string File() const { return tmp / "turnex.dat"; }
    std::string Load(const std::string& userReg = "")
    {
        state = ConfigState {};
        LoadConfiguration(state, base::RegistryHive::Parse(userReg));
        state.CurrentGame = FindCurrentGame(state);
        state.GameDir = state.Current().GameDir();
        return TempDir::Read(File());
    }
    TempDir tmp;
    ConfigState state;
};

uint8_t At(const std::string& file, size_t offset) { return static_cast<uint8_t>(file.at(offset)); }

std::string Field(const std::string& file, size_t record, size_t offset)
{
    size_t at = record * GameProfileLayout::Size + offset;
    return file.substr(at + 1, At(file, at));
}

}  // namespace

TEST_F(ConfigStoreTest, FirstStartWithoutRegistryWritesTheDefaults)
{
    const std::string file = Load();
    ASSERT_EQ(file.size(), 2313u);
    for (size_t r = 0; r < 3; ++r) {
        EXPECT_EQ(Field(file, r, GameProfileLayout::IncomingDir), "c:\\");
        EXPECT_EQ(Field(file, r, GameProfileLayout::OutgoingDir), "c:\\");
        EXPECT_EQ(Field(file, r, GameProfileLayout::GameDir), "c:\\");
        EXPECT_EQ(At(file, r * 771 + GameProfileLayout::ZipOverwrite), 1);
        EXPECT_EQ(At(file, r * 771 + GameProfileLayout::KeyFound), 0);
        EXPECT_EQ(At(file, r * 771 + 5), 0);  // behind the value: zeros in a new file
    }
    EXPECT_EQ(At(file, 770), 1);
    EXPECT_EQ(At(file, 1541), 0);
    EXPECT_EQ(At(file, 2312), 0);
    EXPECT_EQ(state.CurrentGame, 0);
    EXPECT_EQ(state.GameDir, "c:\\");
}

TEST_F(ConfigStoreTest, RegistryLocationsAndTheKeyFoundRule)
{
    const std::string file = Load("[Software\\\\Vantaris\\\\Grey Coast] 1\n\"location\"=\"D:\\\\Games\\\\Grey Coast\"\n"
                                  "[Software\\\\Vantaris\\\\Iron Plain II] 1\n\"other\"=\"x\"\n");
    EXPECT_EQ(Field(file, 1, GameProfileLayout::GameDir), "D:\\Games\\Grey Coast");
    EXPECT_EQ(At(file, 771 + GameProfileLayout::KeyFound), 0);
    // The Iron Plain II key without a location: empty game directory, KeyFound set.
    EXPECT_EQ(Field(file, 0, GameProfileLayout::GameDir), "");
    EXPECT_EQ(At(file, GameProfileLayout::KeyFound), 1);
    EXPECT_EQ(Field(file, 2, GameProfileLayout::GameDir), "c:\\");
    EXPECT_EQ(state.CurrentGame, 0);
}

TEST_F(ConfigStoreTest, LongRegistryLocationIsCut)
{
    const std::string longDir(300, 'x');
    const std::string file = Load("[Software\\\\Vantaris\\\\Jade Tide] 1\n\"location\"=\"" + longDir + "\"\n");
    EXPECT_EQ(Field(file, 2, GameProfileLayout::GameDir), std::string(255, 'x'));
}

TEST_F(ConfigStoreTest, ShortFileIsRewrittenKeepingWhatItDelivered)
{
    std::string old(1000, '\0');
    old[600] = 'Q';  // inside record 0's GameDir, behind the new value
    TempDir::Write(File(), old);
    const std::string file = Load();
    ASSERT_EQ(file.size(), 2313u);
    EXPECT_EQ(file[600], 'Q');
    // Record 0 keeps the file's (empty) directories; the records it did not reach keep "c:\".
    EXPECT_EQ(Field(file, 0, GameProfileLayout::GameDir), "");
    EXPECT_EQ(Field(file, 1, GameProfileLayout::GameDir), "c:\\");
    EXPECT_EQ(At(file, 770), 1);
}

TEST_F(ConfigStoreTest, LongFileKeepsItsTailThroughASave)
{
    std::string content(3000, '\0');
    content[770] = 1;
    content[2312] = 1;  // records 0 and 2 flagged: the last one wins
    content[2500] = 'T';
    content[514] = 3;
    content.replace(515, 3, "e:\\");
    TempDir::Write(File(), content);
    EXPECT_EQ(Load().size(), 3000u);
    EXPECT_EQ(state.CurrentGame, 2);
    state.Profile(0).SetGameDir(std::string(255, 'g'));
    SaveConfiguration(state);
    const std::string saved = TempDir::Read(File());
    ASSERT_EQ(saved.size(), 3000u);
    EXPECT_EQ(saved[2500], 'T');
    EXPECT_EQ(Field(saved, 0, GameProfileLayout::GameDir), std::string(255, 'g'));
    // A longer value is cut when stored.
    state.Profile(0).SetGameDir(std::string(300, 'h'));
    EXPECT_EQ(state.Profile(0).GameDir(), std::string(255, 'h'));
}

TEST_F(ConfigStoreTest, SelectedInRecordsOneAndTwo)
{
    std::string content(2313, '\0');
    content[1541] = 1;
    content[2312] = 7;  // any nonzero value counts
    TempDir::Write(File(), content);
    Load();
    EXPECT_EQ(state.CurrentGame, 2);
}

TEST_F(ConfigStoreTest, SaveNeverCreatesTheFile)
{
    Load();
    fs::remove(File());
    try {
        SaveConfiguration(state);
        FAIL();
    } catch (const base::Exception& e) {
        EXPECT_EQ(std::string(e.what()), "Cannot open file " + File());
    }
    EXPECT_FALSE(fs::exists(File()));
}

TEST_F(ConfigStoreTest, InvalidLocationTypeLeavesNoFileAndTheNextStartCreatesIt)
{
    const std::string reg = "[Software\\\\Vantaris\\\\Grey Coast] 1\n\"location\"=dword:00000001\n";
    try {
        Load(reg);
        FAIL();
    } catch (const base::Exception& e) {
        EXPECT_STREQ(e.what(), "Invalid data type for 'location'");
    }
    EXPECT_FALSE(fs::exists(File()));
    EXPECT_EQ(Load().size(), 2313u);
}

TEST_F(ConfigStoreTest, UncreatableFile)
{
    fs::create_directory(File());  // a folder where the file should be
    try {
        Load("[Software\\\\Vantaris\\\\Grey Coast] 1\n\"location\"=\"x\"\n");
        FAIL();
    } catch (const base::Exception& e) {
        EXPECT_EQ(std::string(e.what()), "Cannot create file " + File());
    }
    // The registry was not read: the image holds the defaults.
    EXPECT_EQ(state.Profile(1).GameDir(), "c:\\");
}

TEST_F(ConfigStoreTest, EnsureTrailingBackslashInMemoryOnly)
{
    Load();
    state.Current().SetOutgoingDir("/home/ann/out");
    state.Current().SetIncomingDir("");
    EnsureTrailingBackslash(state, ArchiveDir::Outgoing);
    EnsureTrailingBackslash(state, ArchiveDir::Outgoing);
    EnsureTrailingBackslash(state, ArchiveDir::Incoming);
    EXPECT_EQ(state.Current().OutgoingDir(), "/home/ann/out\\");
    EXPECT_EQ(state.Current().IncomingDir(), "\\");
    state.Current().SetOutgoingDir(std::string(255, 'o'));
    EnsureTrailingBackslash(state, ArchiveDir::Outgoing);
    EXPECT_EQ(state.Current().OutgoingDir(), std::string(255, 'o'));  // cut back to 255
    EXPECT_EQ(Field(TempDir::Read(File()), 0, GameProfileLayout::OutgoingDir), "c:\\");
}

TEST_F(ConfigStoreTest, AnyFileContentLoads)
{
    // Arbitrary bytes: lengths up to 255 always stay inside the record.
    std::string content(2313, '\xFF');
    TempDir::Write(File(), content);
    Load();
    EXPECT_EQ(state.CurrentGame, 2);
    std::string ygrave;  // 255 times "ÿ", the Windows-1252 character of 0xFF
    for (int i = 0; i < 255; ++i)
        ygrave += "\xC3\xBF";
    EXPECT_EQ(state.GameDir, ygrave);
}

// Folders are UTF-8 inside the program. A drive-letter folder is stored in Windows-1252, as the
// games' own tools read this file; a native one as UTF-8.
TEST_F(ConfigStoreTest, FoldersKeepTheirCharactersThroughASaveAndALoad)
{
    const std::string driveFolder = "c:\\Jeux\\Op\xC3\xA9ration";                                 // é
    const std::string driveMail = "D:\\Mail\\\xC3\x96lberg";                                      // Ö
    const std::string nativeFolder = "/home/ann/\xC5\x81\xC3\xB3\x64\xC5\xBA \xC3\xA9t\xC3\xA9";  // Łódź été
    Load();
    state.Profile(1).SetGameDir(driveFolder);
    state.Profile(1).SetIncomingDir(driveMail);
    state.Profile(1).SetOutgoingDir(nativeFolder);
    SaveConfiguration(state);

    const std::string file = Load();
    EXPECT_EQ(Field(file, 1, GameProfileLayout::GameDir), "c:\\Jeux\\Op\xE9ration");
    EXPECT_EQ(Field(file, 1, GameProfileLayout::IncomingDir), "D:\\Mail\\\xD6lberg");
    EXPECT_EQ(Field(file, 1, GameProfileLayout::OutgoingDir), nativeFolder);
    EXPECT_EQ(state.Profile(1).GameDir(), driveFolder);
    EXPECT_EQ(state.Profile(1).IncomingDir(), driveMail);
    EXPECT_EQ(state.Profile(1).OutgoingDir(), nativeFolder);
}

TEST_F(ConfigStoreTest, ALongNativeFolderIsCutBeforeACharacterItWouldSplit)
{
    struct Case {
        const char* what;
        std::string folder;
        size_t kept;  // bytes stored
    };
    const std::string start = "/" + std::string(252, 'a');  // 253 bytes
    const std::vector<Case> cases = {
        {"é over bytes 255 and 256", start + "b" + "\xC3\xA9" + "tail", 254},
        {"€ over bytes 254 to 256", start + "\xE2\x82\xAC" + "tail", 253},
        {"é ends at byte 255", start + "\xC3\xA9" + "tail", 255},
    };
    Load();
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        state.Profile(2).SetOutgoingDir(c.folder);
        SaveConfiguration(state);
        const std::string stored = Field(Load(), 2, GameProfileLayout::OutgoingDir);
        EXPECT_EQ(stored, c.folder.substr(0, c.kept));
        EXPECT_TRUE(base::IsValidUtf8(stored));
        EXPECT_EQ(state.Profile(2).OutgoingDir(), c.folder.substr(0, c.kept));
    }
}

TEST_F(ConfigStoreTest, ADriveFolderWithACharacterWindows1252LacksIsKeptAsTheFolderItNames)
{
    ScopedWinePrefix prefix(tmp / "wine");
    fs::create_directories(tmp / "wine/dosdevices");
    fs::create_directory_symlink(tmp / "drive-d", tmp / "wine/dosdevices/d:");
    const std::string lodz = "\xC5\x81\xC3\xB3\x64\xC5\xBA";  // Łódź
    fs::create_directories(tmp / ("drive-d/" + lodz));
    Load();
    state.Profile(0).SetGameDir("d:\\" + lodz);
    SaveConfiguration(state);
    Load();
    const std::string kept = state.Profile(0).GameDir();
    ASSERT_FALSE(kept.empty());
    EXPECT_EQ(kept.front(), '/');
    EXPECT_TRUE(base::IsValidUtf8(kept));
    std::error_code error;
    EXPECT_TRUE(fs::equivalent(base::NativePath(kept), tmp / ("drive-d/" + lodz), error)) << kept;
}

TEST_F(ConfigStoreTest, ANativeFolderAnEarlierVersionStoredInWindows1252ReadsAsUtf8)
{
    std::string content(2313, '\0');
    const std::string old = "/home/ann/Op\xE9ration";
    content[GameProfileLayout::GameDir] = static_cast<char>(old.size());
    content.replace(GameProfileLayout::GameDir + 1, old.size(), old);
    content[GameProfileLayout::Selected] = 1;
    TempDir::Write(File(), content);
    Load();
    EXPECT_EQ(state.GameDir, "/home/ann/Op\xC3\xA9ration");
}

TEST_F(ConfigStoreTest, TheRegistryIsReadOnlyWhenTheFileIsMade)
{
    int reads = 0;
    const auto readRegistry = [&reads] {
        ++reads;
        return base::RegistryHive::Parse("[Software\\\\Vantaris\\\\Iron Plain II] 1\n\"location\"=\"D:\\\\Games\"\n");
    };
    LoadConfiguration(state, readRegistry);
    EXPECT_EQ(reads, 1);
    EXPECT_EQ(Field(TempDir::Read(File()), 0, GameProfileLayout::GameDir), "D:\\Games");

    // A start that finds the whole file takes it as it is.
    state = ConfigState {};
    LoadConfiguration(state, readRegistry);
    EXPECT_EQ(reads, 1);
    EXPECT_EQ(state.Current().GameDir(), "D:\\Games");

    // A short file is made anew, from the registry again.
    TempDir::Write(File(), "short");
    LoadConfiguration(state, readRegistry);
    EXPECT_EQ(reads, 2);
    EXPECT_EQ(TempDir::Read(File()).size(), 2313u);
}
