// Add and Extract through the real zip libraries, on archives made by Info-ZIP zip and by the
// test, and on the shared test archives.
#include "archive/ZipComponent.h"
#include "ops/TurnZip.h"
#include "ui/PasswordDialog.h"
#include "base/Files.h"
#include "ui/QtDesktop.h"
#include "support/ScriptedDesktop.h"
#include "support/TempDir.h"
#include "SharedCorpus.h"
#include "Zip64Archives.h"
#include "ZipTestSupport.h"

#include <QApplication>
#include <QCryptographicHash>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>

#include <gtest/gtest.h>

#include <filesystem>
#include <set>
#include <tuple>
#include <sys/time.h>
#include <unistd.h>

namespace {

const std::string kLibs = ZIP_LIB_DIR;
const std::string kShared = ZIP_TESTDATA;

void SetTime(const std::string& file, time_t t)
{
    struct timeval tv[2] = {{t, 0}, {t, 0}};
    utimes(file.c_str(), tv);
}

// Files below a folder, relative, sorted.
std::vector<std::string> Listing(const std::string& dir)
{
    std::vector<std::string> out;
    for (const auto& e : std::filesystem::recursive_directory_iterator(dir))
        out.push_back(e.path().lexically_relative(dir).string());
    std::sort(out.begin(), out.end());
    return out;
}

class ZipLib : public ::testing::Test {
protected:
    void SetUp() override
    {
        char buf[4096];
        cwd = getcwd(buf, sizeof buf);
        // The settings the main window gives its component, from the one place that sets them.
        ops::SetUpTurnZip(zip);
        zip.SetDLLDirectory(kLibs);
        std::filesystem::create_directories(tmp / "out");
        std::filesystem::create_directories(tmp / "game");
    }
    void TearDown() override { EXPECT_EQ(chdir(cwd.c_str()), 0); }

    void Pack(const std::string& archive, const std::string& file)
    {
        zip.SetZipFileName(archive);
        zip.FSpecArgs.push_back(file);
        zip.Add();
    }
    void Unpack(const std::string& archive, const std::string& dest)
    {
        zip.SetZipFileName(archive);
        zip.ExtrBaseDir = dest;
        zip.Extract();
    }
    std::string Shared(const std::string& name)
    {
        std::string path = kShared + "/" + name;
        return std::filesystem::exists(path) ? path : std::string();
    }

    TempDir tmp;
    ScriptedDesktop desktop;
    ZipComponent zip;
    std::string cwd;
};

TEST_F(ZipLib, AddToANewArchiveThenUpdate)
{
    const std::string battle = tmp / "game/Turn 12.bte";
    std::string text;
    for (int i = 0; i < 2000; ++i)
        text += "line " + std::to_string(i % 37) + " of the battle\r\n";
    TempDir::Write(battle, text);
    SetTime(battle, 1700000000);
    const std::string archive = tmp / "out/Turn 12.zip";
    Pack(archive, battle);
    ASSERT_EQ(zip.SuccessCount, 1);
    EXPECT_TRUE(zip.FSpecArgs.empty());
    EXPECT_TRUE(desktop.shown.empty());
    ASSERT_EQ(zip.Count(), 1);  // read again after the add
    EXPECT_EQ(zip.DirEntries[0].FileName, "Turn 12.bte");
    EXPECT_EQ(zip.DirEntries[0].CompressionMethod, 8);
    EXPECT_EQ(zip.DirEntries[0].Flags & 6, 2);  // maximum compression
    EXPECT_EQ(zip.DirEntries[0].DosDateTime, static_cast<uint32_t>(base::PackDosDateTime(1700000000)));
    if (ziptest::HaveTool("unzip")) {
        EXPECT_TRUE(ziptest::Run(tmp.path(), "unzip -t 'out/Turn 12.zip'"));
    }
    if (ziptest::HaveTool("zip")) {
        ASSERT_TRUE(ziptest::Run(tmp / "game", "zip -9 -X ../peer.zip 'Turn 12.bte'"));
        EXPECT_LE(std::filesystem::file_size(archive), std::filesystem::file_size(tmp / "peer.zip"));
    }

    // Update: an older file does not replace the entry, a newer one does.
    const std::string before = TempDir::Read(archive);
    TempDir::Write(battle, "older turn");
    SetTime(battle, 1600000000);
    Pack(archive, battle);
    EXPECT_EQ(zip.SuccessCount, 0);
    EXPECT_EQ(TempDir::Read(archive), before);
    TempDir::Write(battle, "newer turn");
    SetTime(battle, 1800000000);
    Pack(archive, battle);
    EXPECT_EQ(zip.SuccessCount, 1);
    ASSERT_EQ(zip.Count(), 1);
    EXPECT_EQ(zip.DirEntries[0].UncompressedSize, 10u);

    // A second file joins the existing archive.
    TempDir::Write(tmp / "game/other.bte", "other");
    Pack(archive, tmp / "game/other.bte");
    EXPECT_EQ(zip.SuccessCount, 1);
    EXPECT_EQ(zip.Count(), 2);

    std::filesystem::remove(battle);
    Unpack(archive, tmp / "game");
    EXPECT_EQ(zip.SuccessCount, 2);
    EXPECT_EQ(TempDir::Read(battle), "newer turn");
}

TEST_F(ZipLib, StoredSuffixesAndLevelZero)
{
    TempDir::Write(tmp / "game/pack.zip", std::string(4000, 'z'));
    TempDir::Write(tmp / "game/map.bte", std::string(4000, 'm'));
    zip.SetZipFileName(tmp / "out/a.zip");
    zip.FSpecArgs = {tmp / "game/pack.zip", tmp / "game/map.bte"};
    zip.Add();
    ASSERT_EQ(zip.Count(), 2);
    EXPECT_EQ(zip.DirEntries[0].CompressionMethod, 0);
    EXPECT_EQ(zip.DirEntries[1].CompressionMethod, 8);
    zip.AddCompLevel = 0;
    Pack(tmp / "out/b.zip", tmp / "game/map.bte");
    ASSERT_EQ(zip.Count(), 1);
    EXPECT_EQ(zip.DirEntries[0].CompressionMethod, 0);
}

TEST_F(ZipLib, ExtractOverwritesAndKeepsTheCurrentDirectoryOnMissingBase)
{
    if (!ziptest::HaveTool("zip"))
        GTEST_SKIP() << "Info-ZIP zip is not installed";
    TempDir::Write(tmp / "src/sub/a.bte", "fresh a");
    TempDir::Write(tmp / "src/b.bte", "fresh b");
    ASSERT_TRUE(ziptest::Run(tmp / "src", "zip -r -X ../in.zip sub b.bte"));
    TempDir::Write(tmp / "game/a.bte", "stale");
    Unpack(tmp / "in.zip", tmp / "game");
    EXPECT_EQ(zip.SuccessCount, 2);
    EXPECT_EQ(TempDir::Read(tmp / "game/a.bte"), "fresh a");
    EXPECT_EQ(TempDir::Read(tmp / "game/b.bte"), "fresh b");
    EXPECT_EQ(Listing(tmp / "game"), (std::vector<std::string> {"a.bte", "b.bte"}));
    EXPECT_TRUE(desktop.shown.empty());

    // Without the overwrite flag the library asks; no handler means no.
    zip.ExtrOptions = {};
    TempDir::Write(tmp / "game/a.bte", "mine");
    std::vector<std::string> skipped;
    zip.OnExtractSkipped = [&](ZipComponent*, const std::string& f, UnZipSkipTypes, int32_t) { skipped.push_back(f); };
    Unpack(tmp / "in.zip", tmp / "game");
    EXPECT_EQ(zip.SuccessCount, 0);
    EXPECT_EQ(TempDir::Read(tmp / "game/a.bte"), "mine");
    EXPECT_EQ(skipped, (std::vector<std::string> {"sub\\a.bte", "b.bte"}));

    // With directory names the folders come along.
    zip.ExtrOptions = {ExtrDirNames, ExtrOverWrite};
    std::filesystem::create_directories(tmp / "tree");
    Unpack(tmp / "in.zip", tmp / "tree");
    EXPECT_EQ(TempDir::Read(tmp / "tree/sub/a.bte"), "fresh a");

    // A base folder that does not exist: extraction lands in the current directory.
    ASSERT_EQ(chdir((tmp / "src").c_str()), 0);
    zip.ExtrOptions = {ExtrOverWrite};
    Unpack(tmp / "in.zip", tmp / "nowhere");
    char buf[4096];
    EXPECT_EQ(std::filesystem::path(getcwd(buf, sizeof buf)), std::filesystem::canonical(tmp / "src"));
    EXPECT_TRUE(std::filesystem::exists(tmp / "src/a.bte"));
}

TEST_F(ZipLib, PasswordTypedInThePasswordDialog)
{
    if (!ziptest::HaveTool("zip"))
        GTEST_SKIP() << "Info-ZIP zip is not installed";
    TempDir::Write(tmp / "src/s.bte", "secret battle");
    ASSERT_TRUE(ziptest::Run(tmp / "src", "zip -X -P letmein ../p.zip s.bte"));

    ui::QtDesktop qt;
    base::SetDesktop(&qt);
    int shown = 0;
    std::function<void()> answer;
    std::vector<std::string> typed = {"letmein"};
    answer = [&] {
        auto* dlg = qobject_cast<PasswordDialog*>(QApplication::activeModalWidget());
        if (!dlg) {
            QTimer::singleShot(10, answer);
            return;
        }
        ++shown;
        EXPECT_EQ(dlg->size(), QSize(344, 137));
        EXPECT_EQ(dlg->passwordEdit->echoMode(), QLineEdit::Password);
        EXPECT_EQ(dlg->passwordEdit->maxLength(), 80);
        EXPECT_EQ(dlg->okButton->geometry(), QRect(44, 72, 90, 28));
        EXPECT_EQ(dlg->cancelButton->geometry(), QRect(205, 72, 90, 28));
        if (typed.empty()) {
            dlg->cancelButton->click();
        } else {
            dlg->passwordEdit->setText(QString::fromStdString(typed.front()));
            typed.erase(typed.begin());
            dlg->okButton->click();
        }
    };
    QTimer::singleShot(0, answer);
    Unpack(tmp / "p.zip", tmp / "game");
    base::SetDesktop(&desktop);
    EXPECT_EQ(shown, 1);
    EXPECT_EQ(zip.SuccessCount, 1);
    EXPECT_EQ(TempDir::Read(tmp / "game/s.bte"), "secret battle");
    EXPECT_EQ(zip.GetPassword(), "");

    // Cancel in the prompt: nothing is written.
    base::SetDesktop(&qt);
    std::filesystem::remove(tmp / "game/s.bte");
    QTimer::singleShot(0, answer);
    Unpack(tmp / "p.zip", tmp / "game");
    base::SetDesktop(&desktop);
    EXPECT_EQ(shown, 2);
    EXPECT_EQ(zip.SuccessCount, 0);
    EXPECT_TRUE(Listing(tmp / "game").empty());
}

TEST_F(ZipLib, PasswordAttemptsAreCappedAt15)
{
    if (!ziptest::HaveTool("zip"))
        GTEST_SKIP() << "Info-ZIP zip is not installed";
    TempDir::Write(tmp / "src/s.bte", "secret battle");
    ASSERT_TRUE(ziptest::Run(tmp / "src", "zip -X -P letmein ../p.zip s.bte"));
    for (int i = 0; i < 30; ++i)
        desktop.passwordAnswers.push_back({true, "wrong" + std::to_string(i)});
    zip.SetPasswordReqCount(40);
    Unpack(tmp / "p.zip", tmp / "game");
    EXPECT_EQ(desktop.shown.size(), 15u);
    EXPECT_EQ(zip.SuccessCount, 0);

    // The default: one question, then the entry is skipped.
    desktop.shown.clear();
    zip.SetPasswordReqCount(1);
    Unpack(tmp / "p.zip", tmp / "game");
    EXPECT_EQ(desktop.shown.size(), 1u);

    // The component's own Password is tried first.
    desktop.shown.clear();
    zip.SetPassword("letmein");
    Unpack(tmp / "p.zip", tmp / "game");
    EXPECT_TRUE(desktop.shown.empty());
    EXPECT_EQ(zip.SuccessCount, 1);
}

TEST_F(ZipLib, CancelFromAnEventHandlerStopsAndKeepsTheArchive)
{
    TempDir::Write(tmp / "game/a.bte", std::string(200000, 'a'));
    Pack(tmp / "out/c.zip", tmp / "game/a.bte");
    ASSERT_EQ(zip.SuccessCount, 1);
    const std::string before = TempDir::Read(tmp / "out/c.zip");

    TempDir::Write(tmp / "game/b.bte", std::string(200000, 'b'));
    int calls = 0;
    zip.OnProgress = [&](ZipComponent* s, ProgressType t, const std::string&, int32_t) {
        ++calls;
        if (t == ProgressUpdate)  // in the middle of the work
            s->Cancel = true;
    };
    Pack(tmp / "out/c.zip", tmp / "game/b.bte");
    EXPECT_EQ(zip.SuccessCount, 0);
    EXPECT_FALSE(zip.Cancel);
    EXPECT_EQ(TempDir::Read(tmp / "out/c.zip"), before);
    EXPECT_EQ(Listing(tmp / "out"), std::vector<std::string> {"c.zip"});  // no temporary left behind

    EXPECT_GT(calls, 3);
    calls = 0;
    Unpack(tmp / "out/c.zip", tmp / "game");
    EXPECT_EQ(zip.SuccessCount, 0);
    EXPECT_GT(calls, 3);
    EXPECT_EQ(Listing(tmp / "game"), (std::vector<std::string> {"a.bte", "b.bte"}));
}

TEST_F(ZipLib, UnsafeNamesNeverLeaveTheDestination)
{
    const std::string payload = "must stay inside\n";
    const std::vector<std::string> names = {
        "../x1.bte", "..\\x2.bte", "/abs/x3.bte", "C:\\x4.bte", "sub/../../x5.bte", "..", ""};
    std::vector<ziptest::Member> members;
    for (const auto& n : names)
        members.emplace_back(n, payload);
    TempDir::Write(tmp / "evil.zip", ziptest::BuildZip(members));
    std::filesystem::create_directories(tmp / "game/dest");

    // Bare names: the harmless last part is all that is used.
    Unpack(tmp / "evil.zip", tmp / "game/dest");
    EXPECT_EQ(Listing(tmp / "game/dest"),
              (std::vector<std::string> {"x1.bte", "x2.bte", "x3.bte", "x4.bte", "x5.bte"}));
    EXPECT_EQ(zip.SuccessCount, 5);
    EXPECT_EQ(Listing(tmp / "game"), (std::vector<std::string> {"dest", "dest/x1.bte", "dest/x2.bte", "dest/x3.bte",
                                                                "dest/x4.bte", "dest/x5.bte"}));

    // Directory names: every one of them is refused with a message.
    std::filesystem::remove_all(tmp / "game/dest");
    std::filesystem::create_directories(tmp / "game/dest");
    std::filesystem::create_directories(tmp / "outside");
    std::filesystem::create_directory_symlink(tmp / "outside", tmp / "game/dest/link");
    members.emplace_back("link/x6.bte", payload);
    TempDir::Write(tmp / "evil.zip", ziptest::BuildZip(members));
    std::vector<std::string> skipped;
    zip.OnExtractSkipped = [&](ZipComponent*, const std::string& f, UnZipSkipTypes k, int32_t) {
        EXPECT_EQ(k, stUnsafeName);
        skipped.push_back(f);
    };
    zip.ExtrOptions = {ExtrDirNames, ExtrOverWrite};
    Unpack(tmp / "evil.zip", tmp / "game/dest");
    EXPECT_EQ(zip.SuccessCount, 0);
    EXPECT_EQ(skipped.size(), names.size() + 1);
    EXPECT_FALSE(zip.Message.empty());
    EXPECT_EQ(Listing(tmp / "game/dest"), std::vector<std::string> {"link"});
    EXPECT_TRUE(Listing(tmp / "outside").empty());
    EXPECT_EQ(Listing(tmp / "game"), (std::vector<std::string> {"dest", "dest/link"}));

    // A symlink standing where a file is extracted is replaced, never written through.
    TempDir::Write(tmp / "outside/victim.bte", "keep me");
    std::filesystem::create_symlink(tmp / "outside/victim.bte", tmp / "game/dest/victim.bte");
    TempDir::Write(tmp / "v.zip", ziptest::BuildZip({{"victim.bte", payload}}));
    zip.ExtrOptions = {ExtrOverWrite};
    Unpack(tmp / "v.zip", tmp / "game/dest");
    EXPECT_EQ(TempDir::Read(tmp / "outside/victim.bte"), "keep me");
    EXPECT_EQ(TempDir::Read(tmp / "game/dest/victim.bte"), payload);
    EXPECT_FALSE(std::filesystem::is_symlink(tmp / "game/dest/victim.bte"));

    for (const char* shared : {"z_slip_dotdot.zip", "z_slip_abs.zip", "z_name_dotdot.zip"}) {
        const std::string path = Shared(shared);
        if (path.empty())
            continue;
        std::filesystem::remove_all(tmp / "game/shared");
        std::filesystem::create_directories(tmp / "game/shared");
        zip.ExtrOptions = {ExtrDirNames, ExtrOverWrite};
        Unpack(path, tmp / "game/shared");
        EXPECT_EQ(Listing(tmp / "game/shared"), std::vector<std::string> {"readme.txt"}) << shared;
    }
}

TEST_F(ZipLib, MemberNamesReachTheDiskAsUtf8OrNotAtAll)
{
    const std::string uber = "\xC3\xBC"
                             "ber.bte";  // "über.bte"
    ziptest::Member oem {"\x81"
                         "ber.bte",
                         "from a FAT host"};
    oem.host = 0;
    ziptest::Member flagged {"\xC5\x81\xC3\xB3"
                             "d\xC5\xBA.bte",
                             "flagged UTF-8"};  // "Łódź.bte"
    flagged.host = 0;
    flagged.flags = 0x800;
    ziptest::Member latin1 {"caf\xE9.bte", "Unix host, not UTF-8"};
    latin1.host = 3;
    TempDir::Write(tmp / "names.zip", ziptest::BuildZip({oem, flagged, latin1}));
    std::vector<std::string> skipped;
    zip.OnExtractSkipped = [&](ZipComponent*, const std::string& f, UnZipSkipTypes k, int32_t) {
        EXPECT_EQ(k, stUnsafeName);
        skipped.push_back(f);
    };
    Unpack(tmp / "names.zip", tmp / "game");
    EXPECT_EQ(zip.SuccessCount, 2);
    EXPECT_EQ(Listing(tmp / "game"), (std::vector<std::string> {uber, "\xC5\x81\xC3\xB3"
                                                                      "d\xC5\xBA.bte"}));
    EXPECT_EQ(TempDir::Read(tmp / ("game/" + uber)), "from a FAT host");
    EXPECT_EQ(skipped, std::vector<std::string> {"caf\xC3\xA9.bte"});  // refused, named readably, never written

    // Packing keeps the UTF-8 name and says so, so that other tools show it right.
    Pack(tmp / "out/uber.zip", tmp / ("game/" + uber));
    ASSERT_EQ(zip.SuccessCount, 1);
    ASSERT_EQ(zip.Count(), 1);
    EXPECT_EQ(zip.DirEntries[0].FileName, uber);
    EXPECT_EQ(zip.DirEntries[0].Flags & 0x800, 0x800);
    if (ziptest::HaveTool("python3")) {
        EXPECT_TRUE(ziptest::Run(tmp / "out",
                                 "python3 -c \"import zipfile,sys; "
                                 "sys.exit(zipfile.ZipFile('uber.zip').namelist() != ['\\u00fcber.bte'])\""));
    }
}

TEST_F(ZipLib, Zip64ArchivesExtractWithoutAReport)
{
    const auto cases = ziptest::MakeStreamedZip64(tmp.path());
    ASSERT_FALSE(cases.empty()) << "neither python3 nor zip made an archive";
    for (const auto& c : cases) {
        std::filesystem::remove_all(tmp / "game");
        std::filesystem::create_directories(tmp / "game");
        Unpack(tmp / c.archive, tmp / "game");
        EXPECT_EQ(zip.SuccessCount, static_cast<int32_t>(c.members.size())) << c.tool << ": " << zip.Message;
        for (const auto& [name, contents] : c.members)
            EXPECT_EQ(TempDir::Read(tmp / ("game/" + name.substr(name.rfind('/') + 1))), contents) << c.tool;
        EXPECT_TRUE(desktop.shown.empty()) << c.tool << ": " << zip.Message;
        EXPECT_TRUE(zip.SkippedMembers.empty()) << c.tool;
    }

    // Written byte by byte with every value in the Zip64 places, and the same behind other data.
    const std::vector<ziptest::Member> members = {{"a.bte", "alpha"}, {"maps/b.bte", std::string(3000, 'b')}};
    TempDir::Write(tmp / "z.zip", ziptest::BuildZip64(members));
    TempDir::Write(tmp / "p.zip", ziptest::BuildZip64(members, std::string(1000, 'x')));
    for (const char* archive : {"z.zip", "p.zip"}) {
        std::filesystem::remove_all(tmp / "game");
        std::filesystem::create_directories(tmp / "game");
        desktop.shown.clear();
        Unpack(tmp / archive, tmp / "game");
        EXPECT_EQ(zip.SuccessCount, 2) << archive << ": " << zip.Message;
        EXPECT_EQ(TempDir::Read(tmp / "game/b.bte"), members[1].data) << archive;
    }
    // Only the data in front is reported.
    EXPECT_EQ(desktop.Messages(), std::vector<std::string> {ZipReport(10203, "", tmp / "p.zip")});
}

TEST_F(ZipLib, DamagedMemberNeverReplacesAGoodFile)
{
    std::string bytes = ziptest::BuildZip({{"turn.bte", "the new turn, damaged in transit"}});
    bytes[30 + 8 + 4] ^= 0x55;  // a data byte of the stored member
    TempDir::Write(tmp / "bad.zip", bytes);
    TempDir::Write(tmp / "game/turn.bte", "the good old turn");
    std::vector<std::string> crcFiles;
    Unpack(tmp / "bad.zip", tmp / "game");
    EXPECT_EQ(zip.SuccessCount, 0);
    EXPECT_EQ(TempDir::Read(tmp / "game/turn.bte"), "the good old turn");
    EXPECT_EQ(Listing(tmp / "game"), std::vector<std::string> {"turn.bte"});

    // A handler may ask for the damaged file anyway.
    zip.OnCRC32Error = [&](ZipComponent*, const std::string& f, uint32_t, uint32_t, bool& extract) {
        crcFiles.push_back(f);
        extract = true;
    };
    Unpack(tmp / "bad.zip", tmp / "game");
    EXPECT_EQ(crcFiles, std::vector<std::string> {"turn.bte"});
    EXPECT_EQ(zip.SuccessCount, 1);
    EXPECT_NE(TempDir::Read(tmp / "game/turn.bte"), "the good old turn");

    const std::string truncated = Shared("z_truncated.zip");
    REQUIRE_SHARED_DATA(!truncated.empty(), kShared);
    zip.SetZipFileName(truncated);  // no end record: the name is cleared
    zip.ExtrBaseDir = tmp / "game";
    zip.Extract();
    EXPECT_EQ(zip.ErrCode, 10102);
}

// The checksum a damaged member really has is what the handler is told, whether the data or the
// stored checksum is what was damaged, stored or deflated.
TEST_F(ZipLib, ADamagedMemberIsReportedWithTheChecksumItReallyHas)
{
    const std::string good = "the new turn, damaged in transit";
    std::string bytes = ziptest::BuildZip({{"turn.bte", good}});
    bytes[30 + 8 + 4] ^= 0x55;  // a data byte of the stored member
    std::string damaged = good;
    damaged[4] ^= 0x55;
    TempDir::Write(tmp / "stored.zip", bytes);
    std::filesystem::create_directories(tmp / "game");
    std::vector<std::pair<uint32_t, uint32_t>> reported;
    zip.OnCRC32Error = [&](ZipComponent*, const std::string&, uint32_t found, uint32_t expected, bool& extract) {
        reported.emplace_back(found, expected);
        extract = false;
    };
    Unpack(tmp / "stored.zip", tmp / "game");
    EXPECT_EQ(zip.SuccessCount, 0);
    EXPECT_EQ(reported, (std::vector<std::pair<uint32_t, uint32_t>> {{ziptest::Crc32(damaged), ziptest::Crc32(good)}}));
    EXPECT_TRUE(Listing(tmp / "game").empty());

    if (!ziptest::HaveTool("python3"))
        GTEST_SKIP() << "python3 is needed to write a deflated member";
    std::string text;
    for (int i = 0; i < 5000; ++i)
        text += "unit " + std::to_string(i % 97) + " moves\r\n";
    TempDir::Write(tmp / "src/turn.bte", text);
    ASSERT_TRUE(ziptest::Run(tmp / "src", "python3 -c \"import zipfile; "
                                          "zipfile.ZipFile('../deflated.zip', 'w', zipfile.ZIP_DEFLATED)"
                                          ".write('turn.bte')\""));
    // The stored checksum is made wrong in both headers; the data stay sound.
    std::string archive = TempDir::Read(tmp / "deflated.zip");
    const size_t central = archive.find("PK\x01\x02");
    ASSERT_NE(central, std::string::npos);
    archive[14] ^= 0x01;
    archive[central + 16] ^= 0x01;
    TempDir::Write(tmp / "deflated.zip", archive);
    reported.clear();
    Unpack(tmp / "deflated.zip", tmp / "game");
    EXPECT_EQ(zip.SuccessCount, 0);
    EXPECT_EQ(reported,
              (std::vector<std::pair<uint32_t, uint32_t>> {{ziptest::Crc32(text), ziptest::Crc32(text) ^ 1}}));
    EXPECT_TRUE(Listing(tmp / "game").empty());
}

// Files of every size come back as they went in: none, one byte, more than one read buffer,
// and data that do not compress.
TEST_F(ZipLib, PackedFilesOfAnySizeReadBack)
{
    std::string noise(100000, '\0');
    uint32_t x = 12345;
    for (char& c : noise) {
        x = x * 1103515245u + 12345u;
        c = static_cast<char>(x >> 24);
    }
    std::string text;
    while (text.size() < 200000)
        text += "Hex=" + std::to_string(text.size() % 977) + " Strength=" + std::to_string(text.size() % 13) + "\r\n";
    const std::vector<std::pair<std::string, std::string>> files = {
        {"empty.bte", ""}, {"one.bte", "x"}, {"long.bte", text}, {"noise.bte", noise}};
    for (const auto& [name, data] : files) {
        TempDir::Write(tmp / ("game/" + name), data);
        Pack(tmp / "out/all.zip", tmp / ("game/" + name));
        EXPECT_EQ(zip.SuccessCount, 1) << name;
    }
    ASSERT_EQ(zip.Count(), 4);
    for (const auto& entry : zip.DirEntries) {
        EXPECT_EQ(entry.CompressionMethod, 8) << entry.FileName;
        EXPECT_EQ(entry.Flags & 6, 2) << entry.FileName;
    }
    if (ziptest::HaveTool("unzip")) {
        EXPECT_TRUE(ziptest::Run(tmp.path(), "unzip -tq out/all.zip"));
    }
    std::filesystem::create_directories(tmp / "back");
    Unpack(tmp / "out/all.zip", tmp / "back");
    EXPECT_EQ(zip.SuccessCount, 4);
    for (const auto& [name, data] : files)
        EXPECT_EQ(TempDir::Read(tmp / ("back/" + name)), data) << name;
}

// Deflated members small and large (past what is inflated in one piece) come back whole, with
// progress adding up to their sizes; one that inflates to more than it declares, or whose data
// were damaged, is named, not kept, and leaves the file it would have replaced alone.
TEST_F(ZipLib, DeflatedMembersOfEverySizeComeBackWholeOrAreReported)
{
    if (!ziptest::HaveTool("python3"))
        GTEST_SKIP() << "python3 is needed to write deflated members";
    std::string small, large;
    for (int i = 0; small.size() < 300000; ++i)
        small += "[Unit" + std::to_string(i) + "]\r\nHex=" + std::to_string(i * 7 % 120) + "\r\n";
    for (uint32_t x = 1; large.size() < (6u << 20);) {
        x = x * 1103515245u + 12345u;
        large += "Map=" + std::string(1 + (x >> 28), "..ffhhrrw~"[(x >> 16) % 10]) + "\r\n";
    }
    TempDir::Write(tmp / "src/small.bte", small);
    TempDir::Write(tmp / "src/large.bte", large);
    ASSERT_TRUE(ziptest::Run(tmp / "src", "python3 -c \"import zipfile; "
                                          "z = zipfile.ZipFile('../both.zip', 'w', zipfile.ZIP_DEFLATED); "
                                          "z.write('small.bte'); z.write('large.bte')\""));
    int64_t progressed = 0;
    zip.OnProgress = [&](ZipComponent*, ProgressType type, const std::string&, int32_t value) {
        if (type == ProgressUpdate)
            progressed += value;
    };
    std::vector<std::string> messages;
    zip.OnMessage = [&](ZipComponent*, int32_t, const std::string& text) { messages.push_back(text); };
    Unpack(tmp / "both.zip", tmp / "game");
    EXPECT_EQ(zip.SuccessCount, 2);
    EXPECT_EQ(progressed, static_cast<int64_t>(small.size() + large.size()));
    EXPECT_TRUE(TempDir::Read(tmp / "game/small.bte") == small);
    EXPECT_TRUE(TempDir::Read(tmp / "game/large.bte") == large);

    // Each member in turn: its declared size one byte short in both headers (the data run on past
    // it), or a byte in the middle of its deflated data damaged.
    const std::string sound = TempDir::Read(tmp / "both.zip");
    const size_t largeLocal = sound.find("PK\x03\x04", 4);
    const size_t central = sound.find("PK\x01\x02");
    ASSERT_NE(largeLocal, std::string::npos);
    ASSERT_NE(central, std::string::npos);
    const size_t largeCentral = sound.find("PK\x01\x02", central + 4);
    ASSERT_NE(largeCentral, std::string::npos);
    ASSERT_TRUE(small.size() % 256 != 0 && large.size() % 256 != 0);  // sizes that end in no zero byte
    struct Damage {
        std::string member;
        std::string bytes;
    };
    std::vector<Damage> damages;
    for (const auto& [member, local, centralAt] :
         {std::tuple {"small.bte", size_t {0}, central}, std::tuple {"large.bte", largeLocal, largeCentral}}) {
        std::string shortened = sound;
        for (const size_t at : {local + 22, centralAt + 24})
            shortened[at] = static_cast<char>(shortened[at] - 1);
        damages.push_back({member, shortened});
        std::string damaged = sound;
        damaged[local + 30 + 9 + 2000] ^= 0x20;
        damages.push_back({member, damaged});
    }
    bool shortenedFirst = true;
    for (const auto& [member, bytes] : damages) {
        TempDir::Write(tmp / "damaged.zip", bytes);
        TempDir::Write(tmp / "game/small.bte", "the good old turn");
        TempDir::Write(tmp / "game/large.bte", "the good old turn");
        messages.clear();
        Unpack(tmp / "damaged.zip", tmp / "game");
        EXPECT_EQ(zip.SuccessCount, 1) << member;
        EXPECT_EQ(TempDir::Read(tmp / ("game/" + member)), "the good old turn") << member;
        const std::string other = member == "small.bte" ? "large.bte" : "small.bte";
        EXPECT_TRUE(TempDir::Read(tmp / ("game/" + other)) == (other == "small.bte" ? small : large)) << member;
        const std::string said = shortenedFirst ? "Cannot extract " + member + ": it grew past the " +
                                                      (member == "small.bte" ? "293.0 KB" : "6.0 MB") +
                                                      " it declares; the archive is damaged or forged"
                                                : "Checksum error in " + member + ", not kept";
        EXPECT_EQ(messages, std::vector<std::string> {said}) << member;
        shortenedFirst = !shortenedFirst;
    }

    // Sound data under a wrong stored checksum: the handler is told the checksum the data really
    // have and may keep the member, which then comes back whole.
    std::vector<std::pair<uint32_t, uint32_t>> reported;
    zip.OnCRC32Error = [&](ZipComponent*, const std::string&, uint32_t found, uint32_t expected, bool& extract) {
        reported.emplace_back(found, expected);
        extract = true;
    };
    std::filesystem::create_directories(tmp / "kept");
    for (const auto& [member, local, centralAt] :
         {std::tuple {"small.bte", size_t {0}, central}, std::tuple {"large.bte", largeLocal, largeCentral}}) {
        std::string wrongCrc = sound;
        wrongCrc[local + 14] ^= 0x01;
        wrongCrc[centralAt + 16] ^= 0x01;
        TempDir::Write(tmp / "damaged.zip", wrongCrc);
        reported.clear();
        messages.clear();
        Unpack(tmp / "damaged.zip", tmp / "kept");
        const std::string& data = std::string(member) == "small.bte" ? small : large;
        EXPECT_EQ(zip.SuccessCount, 2) << member;
        EXPECT_EQ(reported,
                  (std::vector<std::pair<uint32_t, uint32_t>> {{ziptest::Crc32(data), ziptest::Crc32(data) ^ 1}}))
            << member;
        EXPECT_TRUE(TempDir::Read(tmp / ("kept/" + std::string(member))) == data) << member;
        EXPECT_TRUE(messages.empty()) << member;
    }
}

// An archive comment changes where the directory is found, nothing else: the same members, once
// without a comment and once with one, come to the same files, times and messages, with a damaged
// member and a damaged local header among them.
TEST_F(ZipLib, AnArchiveCommentChangesNothingThatComesOut)
{
    std::vector<ziptest::Member> members = {{"maps/", ""},
                                            {"maps/a.bte", "alpha turn"},
                                            {"b.bte", "beta turn"},
                                            {"c.bte", "gamma turn"},
                                            {"d.bte", "delta turn"}};
    members[1].dosTime = 0x5A8C4D21u;
    members[4].dosTime = 0x4B2A1234u;
    struct Result {
        int32_t extracted = 0;
        std::vector<std::string> messages;
        std::vector<std::string> files;
        std::vector<time_t> times;
    };
    const auto unpack = [&](const std::string& comment, const std::string& folder) {
        std::string bytes = ziptest::BuildZip(members, comment);
        bytes[bytes.find("beta turn")] ^= 0x01;  // b.bte's data, damaged
        // c.bte's local header, damaged: its extra field would run far past the end of the archive.
        bytes[bytes.find("c.bte") - 30 + 28] = bytes[bytes.find("c.bte") - 30 + 29] = '\xFF';
        TempDir::Write(tmp / (folder + ".zip"), bytes);
        std::filesystem::create_directories(tmp / folder);
        Result result;
        zip.OnMessage = [&](ZipComponent*, int32_t code, const std::string& text) {
            if (code != 0)
                result.messages.push_back(text);
        };
        Unpack(tmp / (folder + ".zip"), tmp / folder);
        result.extracted = zip.SuccessCount;
        result.files = Listing(tmp / folder);
        for (const auto& file : result.files)
            result.times.push_back(std::filesystem::last_write_time(std::filesystem::path(tmp / folder) / file)
                                       .time_since_epoch()
                                       .count());
        return result;
    };
    const Result plain = unpack("", "plain");
    const Result other = unpack("not plain", "other");
    EXPECT_EQ(plain.extracted, 2);
    EXPECT_EQ(plain.files, (std::vector<std::string> {"a.bte", "d.bte"}));
    EXPECT_EQ(plain.messages, (std::vector<std::string> {"Checksum error in b.bte, not kept",
                                                         "Cannot extract c.bte: Invalid argument"}));
    EXPECT_EQ(plain.extracted, other.extracted);
    EXPECT_EQ(plain.files, other.files);
    EXPECT_EQ(plain.times, other.times);
    EXPECT_EQ(plain.messages, other.messages);
    EXPECT_EQ(TempDir::Read(tmp / "plain/a.bte"), "alpha turn");
}

TEST_F(ZipLib, SharedArchives)
{
    REQUIRE_SHARED_DATA(!Shared("z_deflate.zip").empty(), kShared);
    const std::string expectedReadme = [&] {
        std::filesystem::create_directories(tmp / "ref");
        Unpack(Shared("z_deflate.zip"), tmp / "ref");
        return TempDir::Read(tmp / "ref/readme.txt");
    }();
    EXPECT_EQ(zip.SuccessCount, 4);
    EXPECT_EQ(expectedReadme.size(), 708u);
    EXPECT_EQ(TempDir::Read(tmp / "ref/notes.txt").size(), 50u);

    zip.SetPassword("secret");
    for (const char* name :
         {"z_aes256.zip", "z_zipcrypto.zip", "z_bzip2.zip", "z_bsdtar.zip", "z_prefix_1000.zip", "z_zip64.zip"}) {
        std::filesystem::remove_all(tmp / "game");
        std::filesystem::create_directories(tmp / "game");
        desktop.shown.clear();
        Unpack(Shared(name), tmp / "game");
        EXPECT_EQ(zip.SuccessCount, 4) << name << ": " << zip.Message;
        EXPECT_TRUE(zip.SkippedMembers.empty()) << name;
        EXPECT_EQ(TempDir::Read(tmp / "game/readme.txt"), expectedReadme) << name;
        EXPECT_EQ(TempDir::Read(tmp / "game/report.txt"), TempDir::Read(tmp / "ref/report.txt")) << name;
    }
    zip.SetPassword("");

    // Methods the library cannot read are skipped with a message that names them.
    for (auto [name, method] : {std::pair {"z_deflate64.zip", "Deflate64"}, std::pair {"z_lzma.zip", "LZMA"}}) {
        std::filesystem::remove_all(tmp / "game");
        std::filesystem::create_directories(tmp / "game");
        std::vector<std::string> messages;
        zip.OnMessage = [&](ZipComponent*, int32_t, const std::string& t) { messages.push_back(t); };
        Unpack(Shared(name), tmp / "game");
        EXPECT_EQ(zip.SuccessCount, 2) << name;
        ASSERT_EQ(messages.size(), 2u) << name;
        EXPECT_NE(messages[0].find(method), std::string::npos) << messages[0];
        EXPECT_EQ(Listing(tmp / "game"), (std::vector<std::string> {"notes.txt", "random.bin"})) << name;
    }
}

// One case per row of the shared zip manifest, through the zip component and the real unzip
// library with the main window's settings (folder names dropped): the archive as a whole, its
// comment, or one member.
class ZipLibCorpus : public ZipLib, public ::testing::WithParamInterface<corpus::Row> {};

std::string Sha256(const std::string& bytes)
{
    return QCryptographicHash::hash(QByteArray::fromStdString(bytes), QCryptographicHash::Sha256).toHex().toStdString();
}

// Archives whose directory the component refuses.
const std::set<std::string> kRefusedArchives = {"z_not_a_zip.zip", "z_truncated.zip"};
// Members in methods the library cannot read: skipped with a message.
const std::set<std::pair<std::string, std::string>> kUnreadableMembers = {{"z_deflate64.zip", "readme.txt"},
                                                                          {"z_deflate64.zip", "report.txt"},
                                                                          {"z_lzma.zip", "readme.txt"},
                                                                          {"z_lzma.zip", "report.txt"}};
// Names that point outside the folder: refused, or kept inside it under the bare file name.
const std::set<std::pair<std::string, std::string>> kEscapingMembers = {
    {"z_slip_dotdot.zip", "../evil.bte"}, {"z_slip_abs.zip", "/abs/evil.bte"}, {"z_name_dotdot.zip", ".."}};

TEST_P(ZipLibCorpus, GivesWhatTheManifestSays)
{
    const corpus::Row& row = GetParam();
    REQUIRE_MANIFEST_ROW(row, kShared);
    const std::string archive = kShared + "/" + row.archive;
    if (row.member == "(comment)") {
        zip.SetZipFileName(archive);
        EXPECT_EQ(std::to_string(zip.ArchiveComment.size()), row.size);
        EXPECT_EQ(Sha256(zip.ArchiveComment), row.sha256);
        return;
    }
    zip.SetPassword("secret");
    Unpack(archive, tmp / "game");
    const std::vector<std::string> listed = Listing(tmp / "game");
    const std::set<std::string> written(listed.begin(), listed.end());
    // Nothing lands beside the game directory, whatever the archive holds.
    EXPECT_EQ(Listing(tmp.path()).size(), written.size() + 2) << "something landed outside the game directory";
    if (kRefusedArchives.count(row.archive)) {
        EXPECT_NE(zip.ErrCode, 0);
        EXPECT_TRUE(written.empty());
        return;
    }
    auto fileName = [](const std::string& member) { return member.substr(member.rfind('/') + 1); };
    if (!row.IsMember()) {
        // Every member that can be extracted is, and nothing else; the count says so.
        std::set<std::string> expected, optional;
        for (const auto& r : corpus::LoadManifest(kShared)) {
            if (r.archive != row.archive || !r.IsMember() || r.IsDirectory() ||
                kUnreadableMembers.count({r.archive, r.member}))
                continue;
            (kEscapingMembers.count({r.archive, r.member}) ? optional : expected).insert(fileName(r.member));
        }
        std::set<std::string> required = written;
        for (const auto& name : optional)
            required.erase(name);
        EXPECT_EQ(required, expected);
        EXPECT_EQ(zip.SuccessCount, static_cast<int32_t>(written.size())) << zip.Message;
        return;
    }
    if (row.IsDirectory())
        return;  // folders are dropped with the names
    const std::string out = tmp / ("game/" + fileName(row.member));
    if (kUnreadableMembers.count({row.archive, row.member})) {
        EXPECT_FALSE(written.count(fileName(row.member)));
        return;
    }
    if (kEscapingMembers.count({row.archive, row.member}) && !written.count(fileName(row.member)))
        return;  // refused
    ASSERT_TRUE(std::filesystem::is_regular_file(out)) << zip.Message;
    const std::string content = TempDir::Read(out);
    EXPECT_EQ(std::to_string(content.size()), row.size);
    EXPECT_EQ(Sha256(content), row.sha256);
}

INSTANTIATE_TEST_SUITE_P(Manifest, ZipLibCorpus, ::testing::ValuesIn(corpus::LoadManifest(kShared)), corpus::RowName);

}  // namespace
