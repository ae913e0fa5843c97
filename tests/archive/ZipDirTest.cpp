// The zip component's directory reader, properties and messages, on real archives.
#include "archive/ZipComponent.h"
#include "support/ScriptedDesktop.h"
#include "support/TempDir.h"
#include "SharedCorpus.h"
#include "Zip64Archives.h"
#include "ZipTestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <unistd.h>

using ziptest::BuildZip;
using ziptest::Member;

namespace {

const std::string kShared = ZIP_TESTDATA;

std::string Fallback(int id) { return std::string(kZipMessageFallback) + std::to_string(id); }
// The report of an identifier about an archive, as the player reads it.
std::string Report(int id, const std::string& archive) { return ZipReport(id, "", archive); }

class ZipDir : public ::testing::Test {
protected:
    void SetUp() override
    {
        zip.OnDirUpdate = [this](ZipComponent*) { ++dirUpdates; };
        zip.OnNewName = [this](ZipComponent*, int32_t seq, ZipDirEntry& e) { seqs.emplace_back(seq, e.FileName); };
        zip.OnMessage = [this](ZipComponent*, int32_t code, const std::string& text) {
            EXPECT_EQ(code, 0);
            messages.push_back(text);
        };
    }
    std::string Write(const std::string& name, const std::string& bytes)
    {
        TempDir::Write(tmp / name, bytes);
        return tmp / name;
    }
    std::string Shared(const std::string& name)
    {
        std::string path = kShared + "/" + name;
        return std::filesystem::exists(path) ? path : std::string();
    }
    std::vector<std::string> Boxes() const
    {
        std::vector<std::string> out;
        for (const auto& s : desktop.shown)
            out.push_back(s.text);
        return out;
    }

    TempDir tmp;
    ScriptedDesktop desktop;
    ZipComponent zip;
    int dirUpdates = 0;
    std::vector<std::pair<int, std::string>> seqs;
    std::vector<std::string> messages;
};

#define REQUIRE_SHARED(path) REQUIRE_SHARED_DATA(!(path).empty(), kShared)

TEST(ZipComponent, CreationValuesAndProperties)
{
    ZipComponent zip;
    EXPECT_EQ(zip.AddCompLevel, 9);
    EXPECT_TRUE(zip.AddOptions.Empty());
    EXPECT_EQ(zip.SFXOptions, SFXOpts {SFXCheckSize});
    EXPECT_EQ(zip.SFXPath, "SfxStub.bin");
    EXPECT_EQ(zip.SFXCaption, "Self-extracting Archive");
    EXPECT_EQ(zip.MinFreeVolumeSize, 65536);
    EXPECT_TRUE(zip.ConfirmErase);
    EXPECT_EQ(zip.CodePage, cpAuto);
    EXPECT_EQ(zip.HowToDelete, htdAllowUndo);
    EXPECT_EQ(zip.GetPasswordReqCount(), 1u);
    // Every suffix but exe, as bits 0 to 10.
    EXPECT_EQ(zip.AddStoreSuffixes.Bits(), 0x7FFu);
    EXPECT_EQ(AddOpts::ByteSize(), 2);
    EXPECT_EQ(AddStoreExts::ByteSize(), 2);
    EXPECT_EQ(ExtrOpts {ExtrOverWrite}.Bits(), 2u);
    EXPECT_EQ(AddOpts {AddUpdate}.Bits(), 16u);

    zip.SetVersionInfo("9.99");
    EXPECT_EQ(zip.VersionInfo(), "1.60 L");
    zip.SetPasswordReqCount(40);
    EXPECT_EQ(zip.GetPasswordReqCount(), 15u);
    zip.SetPassword(std::string(300, 'p'));
    EXPECT_EQ(zip.GetPassword().size(), 255u);
    zip.SetDLLDirectory("c:\\libs\\\\");
    EXPECT_EQ(zip.GetDLLDirectory(), "c:\\libs\\");
    zip.SetRootDir("d:\\root");
    EXPECT_EQ(zip.GetRootDir(), "d:\\root\\");
    zip.SetRootDir("");
    EXPECT_EQ(zip.GetRootDir(), "");
    EXPECT_EQ(std::string(kZipMessageFallback).size(), 81u);
}

TEST(ZipComponent, ShowZipMessageShowsTheReportAndHonoursUnattended)
{
    ScriptedDesktop desktop;
    ZipComponent zip;
    std::vector<std::string> seen;
    zip.OnMessage = [&](ZipComponent*, int32_t, const std::string& t) { seen.push_back(t); };
    zip.ShowZipMessage(10102, " extra");
    ASSERT_EQ(desktop.shown.size(), 1u);
    EXPECT_EQ(desktop.shown[0].kind, Shown::Message);
    EXPECT_EQ(desktop.shown[0].text, ZipReport(10102, " extra", ""));
    EXPECT_EQ(zip.ErrCode, 10102);
    EXPECT_EQ(zip.Message, desktop.shown[0].text);
    zip.Unattended = true;
    zip.ShowZipMessage(10301, "");
    EXPECT_EQ(desktop.shown.size(), 1u);
    EXPECT_EQ(zip.ErrCode, 10301);
    ASSERT_EQ(seen.size(), 2u);
    EXPECT_EQ(seen[1], ZipReport(10301, "", ""));
    // An identifier without a text of its own keeps the fallback form.
    zip.ShowZipMessage(10999, " extra");
    EXPECT_EQ(zip.Message, Fallback(10999) + " extra");

    EZipComponent drive(11004, std::string("Q:\\"));
    EXPECT_TRUE(drive.DisplayMsg);
    EXPECT_EQ(std::string(drive.what()), base::FormatMessage(LoadZipString(11004, ""), "Q:\\"));
    EXPECT_FALSE(EZipComponent(11036, false).DisplayMsg);
    EXPECT_TRUE(EZipComponent(11038, 3).DisplayMsg);
}

TEST_F(ZipDir, MissingFileKeepsTheNameSilently)
{
    zip.SetZipFileName(tmp / "nothing.zip");
    EXPECT_EQ(zip.GetZipFileName(), tmp / "nothing.zip");
    EXPECT_EQ(zip.Count(), 0);
    EXPECT_EQ(dirUpdates, 1);
    EXPECT_TRUE(desktop.shown.empty());
    EXPECT_TRUE(messages.empty());
}

TEST_F(ZipDir, ArchiveByInfoZipWithoutComment)
{
    if (!ziptest::HaveTool("zip"))
        GTEST_SKIP() << "Info-ZIP zip is not installed";
    TempDir::Write(tmp / "src/a.bte", "battle one");
    TempDir::Write(tmp / "src/b.txt", std::string(5000, 'x'));
    ASSERT_TRUE(ziptest::Run(tmp / "src", "zip -X -9 ../plain.zip a.bte b.txt"));
    zip.SetZipFileName(tmp / "plain.zip");
    EXPECT_TRUE(desktop.shown.empty());
    ASSERT_EQ(zip.Count(), 2);
    EXPECT_EQ(zip.ArchiveComment, "");
    EXPECT_EQ(zip.DirEntries[0].FileName, "a.bte");
    EXPECT_EQ(zip.DirEntries[0].UncompressedSize, 10u);
    EXPECT_EQ(zip.DirEntries[1].FileName, "b.txt");
    EXPECT_EQ(zip.DirEntries[1].CompressionMethod, 8);
    EXPECT_EQ(zip.DirEntries[1].HostSystem, 3);
    EXPECT_EQ(zip.DirEntries[1].UncompressedSize, 5000u);
    EXPECT_EQ(zip.DirEntries[0].Crc32, ziptest::Crc32("battle one"));
    EXPECT_EQ(zip.FirstLocalOffset, 0u);
    EXPECT_EQ(dirUpdates, 1);
}

TEST_F(ZipDir, LongestCommentIsFoundAndCutAtItsFirstZero)
{
    std::string comment;
    while (comment.size() < 65535)
        comment += "0123456789abcdef";
    comment.resize(65535);
    zip.SetZipFileName(Write("c.zip", BuildZip({{"a.bte", "x"}}, comment)));
    ASSERT_EQ(zip.Count(), 1);
    EXPECT_EQ(zip.ArchiveComment, comment);

    comment[100] = '\0';
    zip.SetZipFileName(Write("c0.zip", BuildZip({{"a.bte", "x"}}, comment)));
    ASSERT_EQ(zip.Count(), 1);
    EXPECT_EQ(zip.ArchiveComment, comment.substr(0, 100));
    EXPECT_TRUE(desktop.shown.empty());

    const std::string shared = Shared("z_comment_65535.zip");
    REQUIRE_SHARED(shared);
    zip.SetZipFileName(shared);
    ASSERT_EQ(zip.Count(), 1);
    EXPECT_EQ(zip.ArchiveComment.size(), 65535u);
    EXPECT_EQ(zip.ArchiveComment.substr(0, 16), "0123456789abcdef");
    EXPECT_TRUE(desktop.shown.empty());
}

TEST_F(ZipDir, NotAZipReportsAndClearsTheName)
{
    zip.SetZipFileName(Write("text.zip", std::string(300, 't')));
    EXPECT_EQ(zip.GetZipFileName(), "");
    EXPECT_EQ(zip.Count(), 0);
    EXPECT_EQ(zip.ErrCode, 11036);
    ASSERT_EQ(Boxes(), std::vector<std::string> {Report(11036, tmp / "text.zip")});
    EXPECT_EQ(dirUpdates, 1);

    // Too short to hold an end record at all.
    zip.SetZipFileName(Write("short.zip", "PK\x05\x06"));
    EXPECT_EQ(zip.GetZipFileName(), "");
    EXPECT_EQ(zip.ErrCode, 11036);
    zip.SetZipFileName(Write("zero.zip", ""));
    EXPECT_EQ(zip.GetZipFileName(), "");
    EXPECT_EQ(zip.ErrCode, 11036);

    // Unattended: the report without a box.
    zip.Unattended = true;
    desktop.shown.clear();
    const std::string shared = Shared("z_not_a_zip.zip");
    REQUIRE_SHARED(shared);
    zip.SetZipFileName(shared);
    EXPECT_EQ(zip.GetZipFileName(), "");
    EXPECT_EQ(zip.Message, Report(11036, shared));
    EXPECT_TRUE(desktop.shown.empty());
}

TEST_F(ZipDir, EmptyArchive)
{
    zip.SetZipFileName(Write("e.zip", BuildZip({})));
    EXPECT_EQ(zip.GetZipFileName(), tmp / "e.zip");
    EXPECT_EQ(zip.Count(), 0);
    EXPECT_EQ(zip.FirstLocalOffset, 0u);
    EXPECT_TRUE(desktop.shown.empty());
    const std::string shared = Shared("z_empty.zip");
    REQUIRE_SHARED(shared);
    zip.SetZipFileName(shared);
    EXPECT_EQ(zip.GetZipFileName(), shared);
    EXPECT_EQ(zip.FirstLocalOffset, 0u);
    EXPECT_TRUE(desktop.shown.empty());
}

TEST_F(ZipDir, DataInFrontReports10203AndListsEveryEntry)
{
    std::string prefix(1000, '\0');
    for (size_t i = 0; i < prefix.size(); ++i)
        prefix[i] = static_cast<char>(i * 7 + 3);
    zip.SetZipFileName(Write("p.zip", BuildZip({{"a.bte", "alpha"}, {"sub/b.bte", "beta"}}, "", prefix)));
    ASSERT_EQ(zip.Count(), 2);
    EXPECT_EQ(Boxes(), std::vector<std::string> {Report(10203, tmp / "p.zip")});
    EXPECT_EQ(zip.DirEntries[1].FileName, "sub\\b.bte");
    EXPECT_EQ(zip.FirstLocalOffset, 1000u);

    const std::string shared = Shared("z_prefix_1000.zip");
    REQUIRE_SHARED(shared);
    desktop.shown.clear();
    zip.SetZipFileName(shared);
    ASSERT_EQ(zip.Count(), 4);
    EXPECT_EQ(zip.ErrCode, 10203);
    EXPECT_EQ(zip.DirEntries[0].FileName, "readme.txt");
    EXPECT_EQ(zip.DirEntries[3].FileName, "sub\\notes.txt");
    EXPECT_EQ(zip.DirEntries[3].UncompressedSize, 50u);
    EXPECT_EQ(zip.FirstLocalOffset, 1000u);
}

TEST_F(ZipDir, ZeroPaddingToA512MultipleIsAcceptedOtherTailsAreReported)
{
    const std::string body = BuildZip({{"a.bte", "alpha"}, {"b.bte", std::string(300, 'b')}});
    ASSERT_NE(body.size() % 512, 0u);
    std::string padded = body + std::string(512 - body.size() % 512, '\0');
    zip.SetZipFileName(Write("pad.zip", padded));
    EXPECT_EQ(zip.Count(), 2);
    EXPECT_TRUE(desktop.shown.empty());

    std::string dirty = padded;
    dirty[dirty.size() - 3] = 1;
    zip.SetZipFileName(Write("dirty.zip", dirty));
    EXPECT_EQ(Boxes(), std::vector<std::string> {Report(10204, tmp / "dirty.zip")});
    EXPECT_EQ(zip.Count(), 2);  // reading goes on

    // Zeros that do not end on a 512 boundary are reported too.
    desktop.shown.clear();
    zip.SetZipFileName(Write("odd.zip", body + std::string(7, '\0')));
    EXPECT_EQ(Boxes(), std::vector<std::string> {Report(10204, tmp / "odd.zip")});
    EXPECT_EQ(zip.Count(), 2);

    // A comment length that runs past the end of the file.
    desktop.shown.clear();
    std::string cut = BuildZip({{"a.bte", "alpha"}}, "comment");
    cut.resize(cut.size() - 3);
    zip.SetZipFileName(Write("cut.zip", cut));
    EXPECT_EQ(Boxes(), std::vector<std::string> {Report(10204, tmp / "cut.zip")});
    EXPECT_EQ(zip.ArchiveComment, "comm");

    const std::string shared = Shared("z_pad_zero.zip");
    REQUIRE_SHARED(shared);
    desktop.shown.clear();
    zip.SetZipFileName(shared);
    EXPECT_EQ(zip.Count(), 4);
    EXPECT_TRUE(desktop.shown.empty());
}

TEST_F(ZipDir, DirectoryOnlyEntriesAreSkippedButCounted)
{
    if (!ziptest::HaveTool("zip"))
        GTEST_SKIP() << "Info-ZIP zip is not installed";
    TempDir::Write(tmp / "src/maps/m1.bte", "map");
    ASSERT_TRUE(ziptest::Run(tmp / "src", "zip -r -X ../d.zip maps"));
    zip.SetZipFileName(tmp / "d.zip");
    ASSERT_EQ(zip.Count(), 1);
    EXPECT_EQ(zip.DirEntries[0].FileName, "maps\\m1.bte");
    EXPECT_EQ(seqs, (std::vector<std::pair<int, std::string>> {{2, "maps\\m1.bte"}}));

    zip.UseDirOnlyEntries = true;
    seqs.clear();
    zip.ReadDirectory();
    ASSERT_EQ(zip.Count(), 2);
    EXPECT_EQ(zip.DirEntries[0].FileName, "maps\\");
    EXPECT_EQ(seqs[1].first, 2);

    const std::string shared = Shared("z_dirs_only.zip");
    REQUIRE_SHARED(shared);
    zip.UseDirOnlyEntries = false;
    zip.SetZipFileName(shared);
    EXPECT_EQ(zip.Count(), 0);
    EXPECT_EQ(zip.GetZipFileName(), shared);
}

TEST_F(ZipDir, OemNamesBecomeUtf8OnlyForDosHostsWithoutTheUtf8Flag)
{
    const std::string oem = "\x81"
                            "ber.bte";
    const std::string utf8 = "\xC3\xBC"
                             "ber.bte";  // "über.bte"
    Member dos {oem, "x"};
    dos.host = 0;
    dos.comment = "\x84";  // comments convert under the same rule
    Member unix {oem, "x"};
    unix.host = 3;
    Member ntfs {oem, "x"};
    ntfs.host = 11;
    ntfs.madeBy = 50;
    Member flagged {utf8, "x"};  // a FAT host that says its names are UTF-8
    flagged.host = 0;
    flagged.flags = 0x800;
    zip.SetZipFileName(Write("n.zip", BuildZip({dos, unix, ntfs, flagged})));
    ASSERT_EQ(zip.Count(), 4);
    EXPECT_EQ(zip.DirEntries[0].FileName, utf8);
    EXPECT_EQ(zip.DirEntries[0].FileComment, "\xC3\xA4");
    EXPECT_EQ(zip.DirEntries[1].FileName, oem);
    EXPECT_EQ(zip.DirEntries[2].FileName, utf8);
    EXPECT_EQ(zip.DirEntries[3].FileName, utf8);

    zip.CodePage = cpOEM;  // forces the conversion for every host
    zip.ReadDirectory();
    EXPECT_EQ(zip.DirEntries[1].FileName, utf8);

    const std::string shared = Shared("z_name_0x81_dos.zip");
    REQUIRE_SHARED(shared);
    zip.CodePage = cpAuto;
    zip.SetZipFileName(shared);
    ASSERT_EQ(zip.Count(), 1);
    EXPECT_EQ(zip.DirEntries[0].FileName, "\xC3\xBC"
                                          "ber.txt");
}

TEST_F(ZipDir, EncryptedFlagAndExtraFieldBuffer)
{
    Member enc {"e.bte", "secret"};
    enc.flags = 1;
    Member extra {"x.bte", "y"};
    extra.extra = std::string("\xFE\xCA\x05\x00hello", 9);
    zip.SetZipFileName(Write("f.zip", BuildZip({enc, extra, {"plain.bte", "z"}})));
    ASSERT_EQ(zip.Count(), 3);
    EXPECT_EQ(zip.DirEntries[0].Encrypted, 1);
    EXPECT_TRUE(zip.DirEntries[0].ExtraData.empty());
    EXPECT_EQ(zip.DirEntries[1].Encrypted, 0);
    ASSERT_EQ(zip.DirEntries[1].ExtraData.size(), 10u);
    EXPECT_EQ(std::string(zip.DirEntries[1].ExtraData.begin(), zip.DirEntries[1].ExtraData.begin() + 9), extra.extra);
    EXPECT_EQ(zip.DirEntries[1].ExtraFieldLength, 9);

    if (ziptest::HaveTool("zip")) {
        TempDir::Write(tmp / "src/s.bte", "hidden battle");
        ASSERT_TRUE(ziptest::Run(tmp / "src", "zip -X -P pw ../p.zip s.bte"));
        zip.SetZipFileName(tmp / "p.zip");
        ASSERT_EQ(zip.Count(), 1);
        EXPECT_EQ(zip.DirEntries[0].Encrypted, 1);
    }
    const std::string shared = Shared("z_extra9.zip");
    REQUIRE_SHARED(shared);
    zip.SetZipFileName(shared);
    ASSERT_EQ(zip.Count(), 1);
    ASSERT_EQ(zip.DirEntries[0].ExtraData.size(), 10u);
    EXPECT_EQ(zip.DirEntries[0].ExtraData[0], 0xFE);
    EXPECT_EQ(zip.DirEntries[0].ExtraData[4], 'h');
}

TEST_F(ZipDir, DamagedDirectoriesFailWithTheirIdentifier)
{
    const std::string good = BuildZip({{"a.bte", "alpha"}, {"b.bte", "beta"}});
    const size_t cdStart = good.find("PK\x01\x02");
    ASSERT_NE(cdStart, std::string::npos);

    std::string badSig = good;
    badSig[cdStart + 46 + 5 + 1] = 'X';  // the second header's signature
    zip.SetZipFileName(Write("sig.zip", badSig));
    EXPECT_EQ(zip.ErrCode, 11015);
    EXPECT_EQ(zip.GetZipFileName(), "");
    EXPECT_EQ(zip.Count(), 0);
    EXPECT_EQ(zip.DirEntries.size(), 1u);  // what was read stays in the list
    EXPECT_EQ(zip.FirstLocalOffset, 0u);

    // An entry count beyond the directory: the directory ends early.
    std::string more = good;
    more[more.size() - 22 + 10] = 3;
    more[more.size() - 22 + 8] = 3;
    zip.SetZipFileName(Write("more.zip", more));
    EXPECT_EQ(zip.GetZipFileName(), "");
    EXPECT_TRUE(zip.ErrCode == 11013 || zip.ErrCode == 11015) << zip.ErrCode;

    // A directory size larger than the file puts the directory before its start.
    std::string big = good;
    big[big.size() - 22 + 15] = 0x10;
    zip.SetZipFileName(Write("big.zip", big));
    EXPECT_EQ(zip.GetZipFileName(), "");
    EXPECT_EQ(zip.ErrCode, 10201);

    const std::string shared = Shared("z_truncated.zip");
    REQUIRE_SHARED(shared);
    zip.SetZipFileName(shared);
    EXPECT_EQ(zip.GetZipFileName(), "");
    EXPECT_EQ(zip.ErrCode, 11036);
}

TEST_F(ZipDir, Zip64ArchivesOfStreamingWritersListWithoutAReport)
{
    const auto cases = ziptest::MakeStreamedZip64(tmp.path());
    ASSERT_FALSE(cases.empty()) << "neither python3 nor zip made an archive";
    for (const auto& c : cases) {
        seqs.clear();
        zip.SetZipFileName(tmp / c.archive);
        EXPECT_EQ(zip.GetZipFileName(), tmp / c.archive) << c.tool;
        ASSERT_EQ(zip.Count(), static_cast<int32_t>(c.members.size())) << c.tool;
        for (size_t k = 0; k < c.members.size(); ++k) {
            const ZipDirEntry& e = zip.DirEntries[k];
            std::string name = c.members[k].first;
            std::replace(name.begin(), name.end(), '/', '\\');
            EXPECT_EQ(e.FileName, name) << c.tool;
            EXPECT_EQ(e.UncompressedSize64, c.members[k].second.size()) << c.tool;
            EXPECT_EQ(e.Crc32, ziptest::Crc32(c.members[k].second)) << c.tool;
            EXPECT_GT(e.CompressedSize64, 0u) << c.tool;
            if (e.UncompressedSize64 > 1000) {  // the big battle packs well
                EXPECT_LT(e.CompressedSize64, e.UncompressedSize64 / 4) << c.tool;
            }
        }
        EXPECT_EQ(zip.FirstLocalOffset, 0u) << c.tool;
        EXPECT_TRUE(desktop.shown.empty()) << c.tool << ": " << zip.Message;
        EXPECT_TRUE(messages.empty()) << c.tool;
        if (c.tool == "zip -fz") {
            // The header keeps what it holds; the full value comes from the Zip64 extra field.
            EXPECT_EQ(zip.DirEntries[0].UncompressedSize, 0xFFFFFFFFu);
            ASSERT_EQ(zip.DirEntries[0].ExtraData.size(), zip.DirEntries[0].ExtraFieldLength + 1u);
        }
    }

    const std::string shared = Shared("z_zip64.zip");
    REQUIRE_SHARED(shared);
    zip.SetZipFileName(shared);
    ASSERT_EQ(zip.Count(), 4);
    EXPECT_EQ(zip.DirEntries[1].FileName, "report.txt");
    EXPECT_EQ(zip.DirEntries[1].UncompressedSize64, 14941u);
    EXPECT_EQ(zip.DirEntries[3].FileName, "sub\\notes.txt");
    EXPECT_TRUE(desktop.shown.empty()) << zip.Message;
}

TEST_F(ZipDir, Zip64ValuesInFullAndDataInFront)
{
    const std::vector<Member> members = {{"a.bte", "alpha"}, {"maps/b.bte", std::string(3000, 'b')}};
    zip.SetZipFileName(Write("z.zip", ziptest::BuildZip64(members)));
    ASSERT_EQ(zip.Count(), 2);
    EXPECT_TRUE(desktop.shown.empty()) << zip.Message;
    const ZipDirEntry& b = zip.DirEntries[1];
    EXPECT_EQ(b.FileName, "maps\\b.bte");
    EXPECT_EQ(b.CompressedSize, 0xFFFFFFFFu);
    EXPECT_EQ(b.LocalHeaderOffset, 0xFFFFFFFFu);
    EXPECT_EQ(b.UncompressedSize64, 3000u);
    EXPECT_EQ(b.CompressedSize64, 3000u);
    EXPECT_EQ(b.LocalHeaderOffset64, 30u + 5 + 20 + 5);  // behind the first member
    EXPECT_EQ(zip.FirstLocalOffset, 0u);

    // Other data in front: the Zip64 end record is found before its locator, not where the
    // locator says, and the offsets are moved as for a classic archive.
    zip.SetZipFileName(Write("p.zip", ziptest::BuildZip64(members, std::string(1000, 'x'))));
    ASSERT_EQ(zip.Count(), 2);
    EXPECT_EQ(Boxes(), std::vector<std::string> {Report(10203, tmp / "p.zip")});
    EXPECT_EQ(zip.DirEntries[1].LocalHeaderOffset64, 60u);
    EXPECT_EQ(zip.FirstLocalOffset, 1000u);

    // A locator whose record is not there: the directory cannot be found.
    desktop.shown.clear();
    std::string broken = ziptest::BuildZip64(members);
    broken[broken.size() - 22 - 20 - 56] = 'X';
    zip.SetZipFileName(Write("broken.zip", broken));
    EXPECT_EQ(zip.GetZipFileName(), "");
    EXPECT_EQ(zip.ErrCode, 10201);
    EXPECT_EQ(Boxes(), std::vector<std::string> {Report(10201, tmp / "broken.zip")});
}

TEST_F(ZipDir, DriveChecks)
{
    // A drive letter that maps to no folder of the Wine prefix.
    TempDir prefix;
    ScopedWinePrefix scoped(prefix.path());
    const std::string file = Write("drive.zip", BuildZip({{"a.bte", "x"}}));
    const std::string onQ = "q:" + file;  // "q:" without a mapping resolves from the root
    zip.SetZipFileName(onQ);
    EXPECT_EQ(zip.ErrCode, 11004);
    EXPECT_EQ(zip.GetZipFileName(), "");

    std::filesystem::create_directories(prefix.path() + "/dosdevices");
    std::filesystem::create_directory_symlink("/", prefix.path() + "/dosdevices/q:");
    zip.SetZipFileName(onQ);
    EXPECT_EQ(zip.GetZipFileName(), onQ);
    EXPECT_EQ(zip.Count(), 1);

    // A "drive" that is no letter.
    char cwd[4096];
    ASSERT_NE(getcwd(cwd, sizeof cwd), nullptr);
    ASSERT_EQ(chdir(tmp.path().c_str()), 0);
    TempDir::Write(tmp / "1:/x.zip", BuildZip({{"a.bte", "x"}}));
    zip.SetZipFileName("1:\\x.zip");
    EXPECT_EQ(zip.ErrCode, 11003);
    EXPECT_EQ(zip.GetZipFileName(), "");
    ASSERT_EQ(chdir(cwd), 0);
}

}  // namespace
