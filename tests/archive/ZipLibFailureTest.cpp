// What the zip libraries do when something goes wrong, through the real libraries: a file that
// cannot be encrypted, damaged AES members, a cancelled password prompt, a full disk, a file that
// cannot be read. Each failure names the member or file and the reason, and nothing half done
// takes the place of a good file.
#include "archive/ZipComponent.h"
#include "ops/TurnZip.h"
#include "support/ScriptedDesktop.h"
#include "support/TempDir.h"
#include "turnex/ZipRecords.h"
#include "ZipTestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <optional>
#include <random>
#include <sys/fsuid.h>
#include <sys/stat.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

const std::string kLibs = ZIP_LIB_DIR;
const std::string kFakes = ZIP_FAKE_DIR;

std::string RandomBytes(size_t size, unsigned seed)
{
    std::mt19937 gen(seed);
    std::string out(size, '\0');
    for (char& c : out)
        c = static_cast<char>(gen() & 0xFF);
    return out;
}

std::string Battle(int lines)
{
    std::string text;
    for (int i = 0; i < lines; ++i)
        text += "turn " + std::to_string(i % 41) + ": the column moves north\r\n";
    return text;
}

// A path as the component passes on a library's text: with every "/" turned into "\\".
std::string Shown(std::string path)
{
    std::replace(path.begin(), path.end(), '/', '\\');
    return path;
}

std::vector<std::string> Listing(const std::string& dir)
{
    std::vector<std::string> out;
    for (const auto& e : fs::directory_iterator(dir))
        out.push_back(e.path().filename().string());
    std::sort(out.begin(), out.end());
    return out;
}

// File access as an ordinary user for one thread, for as long as it lives: root reads any file.
class AsNobody {
public:
    AsNobody()
    {
        setfsuid(65534);
        active_ = setfsuid(static_cast<uid_t>(-1)) == 65534;  // asks without changing
    }
    ~AsNobody() { setfsuid(0); }
    bool Active() const { return active_; }

private:
    bool active_ = false;
};

class ZipLibFailure : public ::testing::Test {
protected:
    void SetUp() override
    {
        char buf[4096];
        cwd = getcwd(buf, sizeof buf);
        ops::SetUpTurnZip(zip);
        zip.SetDLLDirectory(kLibs);
        fs::create_directories(tmp / "out");
        fs::create_directories(tmp / "game");
        zip.OnMessage = [this](ZipComponent*, int32_t code, const std::string& text) {
            if (code != 0)  // the libraries' own messages
                libraryMessages.push_back(text);
        };
        zip.OnExtractSkipped = [this](ZipComponent*, const std::string& name, UnZipSkipTypes kind, int32_t) {
            skipCalls.emplace_back(name, kind);
        };
    }
    void TearDown() override { EXPECT_EQ(chdir(cwd.c_str()), 0); }

    void Pack(const std::string& archive, const std::vector<std::string>& files)
    {
        libraryMessages.clear();
        zip.SetZipFileName(archive);
        zip.FSpecArgs = files;
        zip.Add();
    }
    void Unpack(const std::string& archive, const std::string& dest)
    {
        libraryMessages.clear();
        skipCalls.clear();
        zip.SetZipFileName(archive);
        zip.ExtrBaseDir = dest;
        zip.Extract();
    }
    std::vector<std::pair<std::string, UnZipSkipTypes>> Skipped() const
    {
        std::vector<std::pair<std::string, UnZipSkipTypes>> out;
        for (const auto& s : zip.SkippedMembers)
            out.emplace_back(s.name, s.kind);
        return out;
    }

    TempDir tmp;
    ScriptedDesktop desktop;
    ZipComponent zip;
    std::string cwd;
    std::vector<std::string> libraryMessages;
    std::vector<std::pair<std::string, UnZipSkipTypes>> skipCalls;
};

using Skips = std::vector<std::pair<std::string, UnZipSkipTypes>>;

TEST_F(ZipLibFailure, AFileThatCannotBeEncryptedIsLeftOutNeverStoredInTheClear)
{
    const std::string secret = "the secret battle plan: " + Battle(20);
    const std::string battle = tmp / "game/s.bte";
    const std::string archive = tmp / "out/s.zip";
    zip.AddCompLevel = 0;  // stored: a file in the clear would show in the archive's bytes

    // The zip writer built with a method this libzip cannot encrypt with.
    zip.SetDLLDirectory(kFakes + "/unsupported_encryption");
    TempDir::Write(battle, secret);
    zip.AddOptions.Include(AddEncrypt);
    zip.SetPassword("pw");
    Pack(archive, {battle});
    EXPECT_EQ(zip.SuccessCount, 0);
    EXPECT_FALSE(fs::exists(archive));
    EXPECT_EQ(libraryMessages, std::vector<std::string> {"Cannot encrypt " + Shown(battle) +
                                                         ": Encryption method not supported; not added"});

    // Replacing an entry: the old entry stays as it was; a new one stays out; a plain file beside
    // them is added.
    zip.SetDLLDirectory(kLibs);
    zip.AddOptions = {AddUpdate};
    zip.SetPassword("");
    TempDir::Write(battle, "the old turn");
    Pack(archive, {battle});
    ASSERT_EQ(zip.SuccessCount, 1);
    const auto oldTime = fs::last_write_time(battle);
    TempDir::Write(battle, secret);
    fs::last_write_time(battle, oldTime + std::chrono::hours(1));
    TempDir::Write(tmp / "game/new.bte", secret);
    TempDir::Write(tmp / "game/open.bte", "open turn");
    zip.SetDLLDirectory(kFakes + "/unsupported_encryption");
    // With a password of their own, the first two are to be encrypted.
    Pack(archive, {battle + "<pw", tmp / "game/new.bte<pw", tmp / "game/open.bte"});
    EXPECT_EQ(zip.SuccessCount, 1);
    EXPECT_EQ(libraryMessages,
              (std::vector<std::string> {
                  "Cannot encrypt " + Shown(battle) + ": Encryption method not supported; not added",
                  "Cannot encrypt " + Shown(tmp / "game/new.bte") + ": Encryption method not supported; not added"}));
    ASSERT_EQ(zip.Count(), 2);
    EXPECT_EQ(zip.DirEntries[0].FileName, "s.bte");
    EXPECT_EQ(zip.DirEntries[0].Crc32, ziptest::Crc32("the old turn"));
    EXPECT_EQ(zip.DirEntries[1].FileName, "open.bte");
    EXPECT_EQ(TempDir::Read(archive).find("secret battle plan"), std::string::npos);
}

TEST_F(ZipLibFailure, ADamagedAesMemberIsRefusedASoundOneExtracts)
{
    if (!ziptest::HaveTool("7z"))
        GTEST_SKIP() << "7z is not installed";
    const std::string small = "Jade Tide\r\nturn 3\r\n";
    const std::string big = Battle(800);
    TempDir::Write(tmp / "src/a.bte", small);
    TempDir::Write(tmp / "src/b.bte", big);
    zip.SetPassword("secret");
    for (const std::string level : {"-mx=0", "-mx=5"}) {  // stored and deflated
        SCOPED_TRACE(level);
        const std::string sound = tmp / ("sound" + level + ".zip");
        ASSERT_TRUE(
            ziptest::Run(tmp / "src", "7z a -tzip -mem=AES256 -psecret " + level + " '" + sound + "' a.bte b.bte"));
        fs::remove_all(tmp / "game");
        fs::create_directories(tmp / "game");
        Unpack(sound, tmp / "game");
        EXPECT_EQ(zip.SuccessCount, 2) << zip.Message;
        EXPECT_EQ(TempDir::Read(tmp / "game/a.bte"), small);
        EXPECT_EQ(TempDir::Read(tmp / "game/b.bte"), big);
        EXPECT_TRUE(zip.SkippedMembers.empty());
        EXPECT_TRUE(libraryMessages.empty());

        // One byte of b.bte's encrypted data changed in transit.
        ASSERT_EQ(zip.DirEntries[1].FileName, "b.bte");
        ASSERT_EQ(zip.DirEntries[1].Crc32, 0u);  // the second kind, which stores no CRC
        std::string bytes = TempDir::Read(sound);
        const size_t local = zip.DirEntries[1].LocalHeaderOffset;
        const size_t data = local + 30 + ziprec::GetU16(reinterpret_cast<const uint8_t*>(&bytes[local + 26])) +
                            ziprec::GetU16(reinterpret_cast<const uint8_t*>(&bytes[local + 28])) + 16 + 2;
        bytes[data + 40] ^= 0x20;
        const std::string damaged = tmp / ("damaged" + level + ".zip");
        TempDir::Write(damaged, bytes);
        TempDir::Write(tmp / "game/b.bte", "the good old turn");
        Unpack(damaged, tmp / "game");
        EXPECT_EQ(zip.SuccessCount, 1);
        EXPECT_EQ(TempDir::Read(tmp / "game/b.bte"), "the good old turn");
        EXPECT_EQ(Listing(tmp / "game"), (std::vector<std::string> {"a.bte", "b.bte"}));
        EXPECT_EQ(Skipped(), (Skips {{"b.bte", stCrcError}}));
        EXPECT_EQ(skipCalls, (Skips {{"b.bte", stCrcError}}));
        EXPECT_EQ(libraryMessages, std::vector<std::string> {
                                       "Checksum error in b.bte: its authentication code does not match, not kept"});
    }
}

TEST_F(ZipLibFailure, ACancelledPasswordPromptIsNotShownAgainForTheArchive)
{
    if (!ziptest::HaveTool("zip"))
        GTEST_SKIP() << "Info-ZIP zip is not installed";
    for (const char* name : {"a.bte", "b.bte", "c.bte"})
        TempDir::Write(tmp / ("src/" + std::string(name)), std::string("battle ") + name);
    ASSERT_TRUE(ziptest::Run(tmp / "src", "zip -X -P letmein ../three.zip a.bte b.bte c.bte"));

    desktop.passwordAnswers.push_back({false, ""});
    Unpack(tmp / "three.zip", tmp / "game");
    EXPECT_EQ(desktop.Of(Shown::Password).size(), 1u);
    EXPECT_EQ(zip.SuccessCount, 0);
    const Skips all = {{"a.bte", stBadPassword}, {"b.bte", stBadPassword}, {"c.bte", stBadPassword}};
    EXPECT_EQ(skipCalls, all);
    EXPECT_EQ(Skipped(), all);
    EXPECT_EQ(libraryMessages,
              (std::vector<std::string> {"Wrong or missing password for a.bte", "Wrong or missing password for b.bte",
                                         "Wrong or missing password for c.bte"}));
    EXPECT_TRUE(Listing(tmp / "game").empty());

    // A wrong password typed is a different matter: the next member asks again, and the right
    // password then opens the rest.
    desktop.shown.clear();
    desktop.passwordAnswers = {{true, "wrong"}, {true, "letmein"}};
    Unpack(tmp / "three.zip", tmp / "game");
    EXPECT_EQ(desktop.Of(Shown::Password).size(), 2u);
    EXPECT_EQ(zip.SuccessCount, 2);
    EXPECT_EQ(skipCalls, (Skips {{"a.bte", stBadPassword}}));
    EXPECT_EQ(TempDir::Read(tmp / "game/c.bte"), "battle c.bte");
}

TEST_F(ZipLibFailure, EveryMemberNotExtractedIsNamedOnceAndFoldersAreNoMembers)
{
    std::string bytes =
        ziptest::BuildZip({{"maps/", ""}, {"maps/a.bte", "alpha turn"}, {"b.bte", "beta turn"}, {"", "no name"}});
    bytes[bytes.find("beta turn")] ^= 0x01;  // b.bte's data, damaged
    TempDir::Write(tmp / "mixed.zip", bytes);
    int32_t filesToCome = -1;
    zip.OnProgress = [&](ZipComponent*, ProgressType type, const std::string&, int32_t value) {
        if (type == TotalFiles2Process)
            filesToCome = value;
    };
    Unpack(tmp / "mixed.zip", tmp / "game");
    EXPECT_EQ(filesToCome, 3);
    EXPECT_EQ(zip.SuccessCount, 1);
    const Skips expected = {{"b.bte", stCrcError}, {"", stUnsafeName}};
    EXPECT_EQ(skipCalls, expected);
    EXPECT_EQ(Skipped(), expected);
    EXPECT_EQ(Listing(tmp / "game"), std::vector<std::string> {"a.bte"});

    // Updating keeps a file that is newer than its member, and says so.
    zip.ExtrOptions = {ExtrUpdate};
    Unpack(tmp / "mixed.zip", tmp / "game");
    EXPECT_EQ(zip.SuccessCount, 0);
    EXPECT_EQ(skipCalls, (Skips {{"maps\\a.bte", stNoOverwrite}, {"b.bte", stCrcError}, {"", stUnsafeName}}));
}

TEST_F(ZipLibFailure, WriteFailuresCarryTheSystemsReason)
{
    // A folder where the file would go.
    TempDir::Write(tmp / "one.zip", ziptest::BuildZip({{"a.bte", "alpha"}}));
    fs::create_directories(tmp / "game/a.bte");
    Unpack(tmp / "one.zip", tmp / "game");
    EXPECT_EQ(zip.SuccessCount, 0);
    EXPECT_EQ(libraryMessages, std::vector<std::string> {"Cannot extract a.bte: a folder of that name is in the way"});
    EXPECT_EQ(Skipped(), (Skips {{"a.bte", stExtractError}}));

    // A full disk, for extracting and for packing.
    const std::string big = RandomBytes(300000, 7);
    TempDir::Write(tmp / "big.zip", ziptest::BuildZip({{"big.bin", big}, {"a.bte", "alpha"}}));
    TempDir::Write(tmp / "game/big.bin", big);
    ziptest::SmallDisk disk(tmp / "small", "64k");  // full after a few kilobytes
    if (!disk.Mounted()) {
        // Without root no small disk can be made; a folder one may not write to fails instead.
        if (geteuid() == 0)
            GTEST_SKIP() << "running as root, but a tmpfs cannot be mounted here";
        fs::permissions(tmp / "small", fs::perms::owner_read | fs::perms::owner_exec);
        Unpack(tmp / "big.zip", tmp / "small");
        EXPECT_EQ(libraryMessages,
                  (std::vector<std::string> {"Cannot extract big.bin: it could not be created: Permission denied",
                                             "Cannot extract a.bte: it could not be created: Permission denied"}));
        Pack(tmp / "small/out.zip", {tmp / "game/big.bin"});
        EXPECT_EQ(libraryMessages,
                  std::vector<std::string> {"Cannot write " + Shown(tmp / "small/out.zip") + ": Permission denied"});
        fs::permissions(tmp / "small", fs::perms::owner_all);
        GTEST_SKIP() << "not root: the full disk was not tried, a read-only folder stood in for it";
    }
    // A member larger than the disk's free space is refused before a byte is written.
    Unpack(tmp / "big.zip", tmp / "small");
    EXPECT_EQ(zip.SuccessCount, 1);
    EXPECT_EQ(libraryMessages,
              std::vector<std::string> {"Cannot extract big.bin: it declares 293.0 KB; the disk has 64.0 KB free"});
    EXPECT_EQ(Skipped(), (Skips {{"big.bin", stExtractError}}));
    EXPECT_EQ(zip.SkippedMembers[0].reason, "could not be unpacked (it declares 293.0 KB; the disk has 64.0 KB free)");
    EXPECT_EQ(Listing(tmp / "small"), std::vector<std::string> {"a.bte"});  // no half file left

    Pack(tmp / "small/out.zip", {tmp / "game/big.bin"});
    EXPECT_EQ(zip.SuccessCount, 0);
    EXPECT_EQ(libraryMessages,
              std::vector<std::string> {"Cannot write " + Shown(tmp / "small/out.zip") + ": No space left on device"});
    EXPECT_EQ(Listing(tmp / "small"), std::vector<std::string> {"a.bte"});
}

TEST_F(ZipLibFailure, ABattleFileThatCannotBeReadIsNamedWithTheReason)
{
    const std::string archive = tmp / "out/t.zip";
    fs::create_directories(tmp / "game/folder.bte");
    Pack(archive, {tmp / "game/folder.bte", tmp / "game/missing.bte"});
    EXPECT_EQ(zip.SuccessCount, 0);
    EXPECT_EQ(libraryMessages, (std::vector<std::string> {
                                   "Cannot read " + Shown(tmp / "game/folder.bte") + ": Is a directory",
                                   "Cannot read " + Shown(tmp / "game/missing.bte") + ": No such file or directory"}));
    EXPECT_FALSE(fs::exists(archive));

    // A file its owner may not read, beside one that packs.
    TempDir::Write(tmp / "game/locked.bte", "locked turn");
    TempDir::Write(tmp / "game/open.bte", "open turn");
    fs::permissions(tmp / "game/locked.bte", fs::perms::none);
    fs::permissions(tmp.path(), fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                                    fs::perms::others_read | fs::perms::others_exec);
    fs::permissions(tmp / "out", fs::perms::all);
    {
        // Loaded before the switch: the build folder may lie below a folder only its owner may enter.
        ASSERT_TRUE(zip.LoadZipLibrary());
        std::optional<AsNobody> nobody;
        if (geteuid() == 0) {
            nobody.emplace();
            if (!nobody->Active())
                GTEST_SKIP() << "running as root, and file access cannot be given to an ordinary user";
        }
        Pack(archive, {tmp / "game/locked.bte", tmp / "game/open.bte"});
    }
    zip.ReleaseZipLibrary();
    EXPECT_EQ(zip.SuccessCount, 1);
    EXPECT_EQ(libraryMessages,
              std::vector<std::string> {"Cannot read " + Shown(tmp / "game/locked.bte") + ": Permission denied"});
    ASSERT_EQ(zip.Count(), 1);
    EXPECT_EQ(zip.DirEntries[0].FileName, "open.bte");
}

}  // namespace
