// libunrar.so through its C interface: every archive of the shared RAR corpus against its
// manifest, comments, damaged copies, and hostile archives made here (no RAR writer exists on
// this system, so minimal stored archives are written byte by byte, checksums included).
#include "support/TempDir.h"

#include "RarBytes.h"
#include "SharedCorpus.h"
#include "base/ExtractionFolder.h"
#include "turnex/unrar.h"

#include <QCryptographicHash>

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <set>
#include <unistd.h>
#include <zlib.h>

namespace fs = std::filesystem;

namespace {

const std::string kData = TURNEX_RAR_TESTDATA;

#define REQUIRE_CORPUS() REQUIRE_SHARED_DATA(fs::exists(kData + "/MANIFEST.tsv"), kData)

std::string Sha256(const std::string& bytes)
{
    return QCryptographicHash::hash(QByteArray::fromStdString(bytes), QCryptographicHash::Sha256).toHex().toStdString();
}

std::vector<corpus::Row> Manifest() { return corpus::LoadManifest(kData); }

struct Opened {
    void* handle = nullptr;
    RAROpenArchiveData data {};
    std::vector<char> comment;
};

Opened Open(const std::string& path, unsigned cmtBufSize = 16384)
{
    Opened o;
    o.comment.assign(cmtBufSize, '\x7F');
    o.data.ArcName = const_cast<char*>(path.c_str());
    o.data.OpenMode = RAR_OM_EXTRACT;
    o.data.CmtBuf = cmtBufSize ? o.comment.data() : nullptr;
    o.data.CmtBufSize = cmtBufSize;
    o.handle = RAROpenArchive(&o.data);
    return o;
}

// Extracts every member, returning each member's result; "(read)" holds the final header result.
std::map<std::string, int> ExtractAll(const std::string& path, const std::string& dest, int operation = RAR_EXTRACT)
{
    std::map<std::string, int> results;
    Opened o = Open(path);
    if (!o.handle) {
        results["(open)"] = static_cast<int>(o.data.OpenResult);
        return results;
    }
    RARHeaderData h {};
    int r;
    while ((r = RARReadHeader(o.handle, &h)) == ERAR_SUCCESS)
        results[h.FileName] = RARProcessFile(o.handle, operation, const_cast<char*>(dest.c_str()), nullptr);
    results["(read)"] = r;
    RARCloseArchive(o.handle);
    return results;
}

// ---- minimal stored archives ----

using rarbytes::Entry;
using rarbytes::File;
using rarbytes::Rar4;
using rarbytes::Rar5;
using rarbytes::Redirect5;
using rarbytes::Symlink4;

unsigned Get16(const std::string& s, size_t at)
{
    return static_cast<unsigned char>(s[at]) | static_cast<unsigned char>(s[at + 1]) << 8;
}

// A real RAR 1.5-4 archive with a RAR 1.5-2.0 file comment put into every file header, behind
// the name and outside the header CRC, as those versions wrote it.
std::string WithFileComments(const std::string& arc)
{
    std::string out = arc.substr(0, 7);
    for (size_t pos = 7; pos + 11 <= arc.size();) {
        std::string h = arc.substr(pos, Get16(arc, pos + 5));
        const size_t dataSize = (Get16(h, 3) & 0x8000) ? Get16(h, 7) | Get16(h, 9) << 16 : 0;
        const std::string data = arc.substr(pos + h.size(), dataSize);
        pos += h.size() + dataSize;
        if (static_cast<uint8_t>(h[2]) == 0x74) {
            const size_t nameEnd = 32 + Get16(h, 26);
            const std::string comment = rarbytes::CommentBlock4("comment of " + h.substr(32, nameEnd - 32));
            std::string fields = h.substr(2, nameEnd - 2);
            const unsigned flags = Get16(h, 3) | 0x08, size = static_cast<unsigned>(h.size() + comment.size());
            fields[1] = static_cast<char>(flags & 0xFF);
            fields[2] = static_cast<char>(flags >> 8);
            fields[3] = static_cast<char>(size & 0xFF);
            fields[4] = static_cast<char>(size >> 8);
            h = rarbytes::Block4(fields) + comment + h.substr(nameEnd);
        }
        out += h + data;
    }
    return out;
}

// A program in front of an archive, carrying the signature bytes itself as such programs do.
std::string Program(const std::string& magic)
{
    return magic + std::string(3000, '\x90') + std::string("Rar!\x1A\x07\x00\x01\x02\x73", 11) + std::string(900, '\0');
}

std::string ExpectedTarget(const std::string& notes, const char* tag)
{
    auto pos = notes.find(tag);
    return pos == std::string::npos ? std::string() : notes.substr(pos + std::strlen(tag));
}

}  // namespace

// One case per manifest row: the whole archive's outcome, its comment, or one member.
class UnRarCorpus : public ::testing::TestWithParam<corpus::Row> {};

// Members that cannot be produced, and the code that says why.
const std::map<std::pair<std::string, std::string>, int> kMemberFailures = {
    {{"r3_crc_damaged.rar", "test.txt"}, ERAR_BAD_DATA},
    {{"r3_truncated.rar", "testdir/LibarchiveAddingTest.html"}, ERAR_BAD_DATA},
    {{"r3_volume.part1.rar", "vols/bigfile.txt"}, ERAR_EOPEN},
    {{"r3_dotdot_name.rar", "../extract_evil/pwned.txt"}, ERAR_ECREATE},
    {{"r3_encrypted_data_mixed.rar", "b.txt"}, ERAR_MISSING_PASSWORD},
    {{"r3_encrypted_data_mixed.rar", "d.txt"}, ERAR_MISSING_PASSWORD},
    {{"r5_encrypted_data.rar", "stest1.txt"}, ERAR_MISSING_PASSWORD},
    {{"r5_encrypted_data.rar", "stest2.txt"}, ERAR_MISSING_PASSWORD},
};
const std::map<std::string, int> kOpenFailures = {{"not_a_rar.rar", ERAR_BAD_ARCHIVE},
                                                  {"r3_encrypted_headers.rar", ERAR_MISSING_PASSWORD}};

TEST_P(UnRarCorpus, GivesWhatTheManifestSays)
{
    const corpus::Row& row = GetParam();
    REQUIRE_MANIFEST_ROW(row, kData);
    const std::string archive = kData + "/" + row.archive;
    if (row.member == "(comment)") {
        Opened o = Open(archive);
        ASSERT_NE(o.handle, nullptr);
        RARCloseArchive(o.handle);
        ASSERT_EQ(o.data.CmtState, 1u);
        ASSERT_GE(o.data.CmtSize, 1u);  // counts the terminating zero
        const std::string comment(o.comment.data(), o.data.CmtSize - 1);
        EXPECT_EQ(std::to_string(comment.size()), row.size);
        EXPECT_EQ(Sha256(comment), row.sha256);
        return;
    }
    TempDir tmp;
    auto results = ExtractAll(archive, tmp.path());
    if (kOpenFailures.count(row.archive)) {
        EXPECT_EQ(results["(open)"], kOpenFailures.at(row.archive));
        EXPECT_TRUE(fs::is_empty(tmp.path()));
        return;
    }
    EXPECT_EQ(results["(read)"], ERAR_END_ARCHIVE);
    if (!row.IsMember()) {
        // The header walk hands out every member the manifest lists, and nothing else.
        std::set<std::string> listed, walked;
        for (const auto& other : Manifest())
            if (other.archive == row.archive && other.IsMember())
                listed.insert(other.IsDirectory() ? other.member.substr(0, other.member.size() - 1) : other.member);
        for (const auto& [name, result] : results)
            if (name != "(read)")
                walked.insert(name);
        EXPECT_EQ(walked, listed);
        // No temporary file is left behind.
        for (const auto& e : fs::recursive_directory_iterator(tmp.path()))
            EXPECT_FALSE(e.path().filename().string().ends_with(base::kPartSuffix)) << e.path();
        return;
    }
    std::string name = row.member;
    if (row.IsDirectory())
        name.pop_back();
    const auto failure = kMemberFailures.find({row.archive, row.member});
    ASSERT_TRUE(results.count(name)) << "the header walk never reached the member";
    EXPECT_EQ(results[name], failure == kMemberFailures.end() ? ERAR_SUCCESS : failure->second);
    const fs::path out = fs::path(tmp.path()) / name;
    if (failure != kMemberFailures.end()) {
        EXPECT_FALSE(fs::exists(fs::symlink_status(out)));
    } else if (row.IsDirectory()) {
        EXPECT_TRUE(fs::is_directory(out));
    } else if (auto target = ExpectedTarget(row.notes, "symlink -> "); !target.empty()) {
        ASSERT_TRUE(fs::is_symlink(out));
        EXPECT_EQ(fs::read_symlink(out).string(), target.substr(0, target.find(' ')));
    } else {
        ASSERT_TRUE(fs::is_regular_file(fs::symlink_status(out)));
        const std::string content = TempDir::Read(out);
        EXPECT_EQ(std::to_string(content.size()), row.size);
        EXPECT_EQ(Sha256(content), row.sha256);
    }
}

INSTANTIATE_TEST_SUITE_P(Manifest, UnRarCorpus, ::testing::ValuesIn(corpus::LoadManifest(kData)), corpus::RowName);

TEST(UnRarLibrary, MissingOrUnreadableArchiveIsAnOpenError)
{
    TempDir tmp;
    EXPECT_EQ(Open(tmp / "absent.rar").data.OpenResult, unsigned(ERAR_EOPEN));
    EXPECT_EQ(Open(tmp.path()).data.OpenResult, unsigned(ERAR_EOPEN));
    TempDir::Write(tmp / "empty.rar", "");
    EXPECT_EQ(Open(tmp / "empty.rar").data.OpenResult, unsigned(ERAR_BAD_ARCHIVE));
    TempDir::Write(tmp / "old.rar", std::string("RE~^\x00\x00\x00\x00", 8));
    EXPECT_EQ(Open(tmp / "old.rar").data.OpenResult, unsigned(ERAR_UNKNOWN_FORMAT));
    std::string later = Rar5({File("turn.bte", "x")});
    later[6] = '\x02';  // a layout after RAR5
    TempDir::Write(tmp / "new.rar", later);
    EXPECT_EQ(Open(tmp / "new.rar").data.OpenResult, unsigned(ERAR_UNKNOWN_FORMAT));
}

TEST(UnRarLibrary, CommentsOfBothLayoutsAreReadIntoTheBuffer)
{
    REQUIRE_CORPUS();
    for (const auto& [archive, text] : std::vector<std::pair<std::string, std::string>> {
             {"r3_comment.rar", "RARcomment\n"},  // compressed comment block
             {"r5_comment_blake2.rar", "RAR5 archive - blake\n"},
             {"r5_encrypted_data.rar", "RAR5 archive - nohdr-password\n"}}) {
        SCOPED_TRACE(archive);
        Opened o = Open(kData + "/" + archive);
        ASSERT_NE(o.handle, nullptr);
        EXPECT_EQ(o.data.CmtState, 1u);
        EXPECT_EQ(std::string(o.comment.data()), text);
        EXPECT_EQ(o.data.CmtSize, text.size() + 1);
        RARCloseArchive(o.handle);

        Opened small = Open(kData + "/" + archive, 5);
        EXPECT_EQ(small.data.CmtState, unsigned(ERAR_SMALL_BUF));
        EXPECT_EQ(std::string(small.comment.data()), text.substr(0, 4));
        RARCloseArchive(small.handle);

        Opened none = Open(kData + "/" + archive, 0);
        EXPECT_EQ(none.data.CmtState, 0u);
        RARCloseArchive(none.handle);
    }
    Opened plain = Open(kData + "/r3_solid.rar");
    EXPECT_EQ(plain.data.CmtState, 0u);
    RARCloseArchive(plain.handle);
}

TEST(UnRarLibrary, HeadersDescribeTheMembers)
{
    REQUIRE_CORPUS();
    Opened o = Open(kData + "/r3_basic_links_dirs.rar");
    ASSERT_NE(o.handle, nullptr);
    RARHeaderData h {};
    ASSERT_EQ(RARReadHeader(o.handle, &h), ERAR_SUCCESS);
    EXPECT_STREQ(h.FileName, "test.txt");
    EXPECT_EQ(h.UnpSize, 20u);
    EXPECT_EQ(h.HostOS, 3u);
    EXPECT_EQ(h.FileCRC, 0xBEC8A242u);
    EXPECT_NE(h.Flags & RHDF_DIRECTORY, unsigned(RHDF_DIRECTORY));
    // Skipping leaves nothing behind and moves on; the backslash of the stored path becomes "/".
    EXPECT_EQ(RARProcessFile(o.handle, RAR_SKIP, nullptr, nullptr), ERAR_SUCCESS);
    ASSERT_EQ(RARReadHeader(o.handle, &h), ERAR_SUCCESS);
    ASSERT_EQ(RARReadHeader(o.handle, &h), ERAR_SUCCESS);
    EXPECT_STREQ(h.FileName, "testdir/test.txt");
    ASSERT_EQ(RARReadHeader(o.handle, &h), ERAR_SUCCESS);
    EXPECT_STREQ(h.FileName, "testdir");
    EXPECT_EQ(h.Flags & RHDF_DIRECTORY, unsigned(RHDF_DIRECTORY));
    RARCloseArchive(o.handle);
}

TEST(UnRarLibrary, SolidMembersUnpackAfterSkippedOnes)
{
    REQUIRE_CORPUS();
    for (const char* archive : {"r3_solid.rar", "r5_solid.rar"}) {
        SCOPED_TRACE(archive);
        TempDir tmp;
        Opened o = Open(kData + "/" + archive);
        ASSERT_NE(o.handle, nullptr);
        RARHeaderData h {};
        std::string last;
        while (RARReadHeader(o.handle, &h) == ERAR_SUCCESS) {
            last = h.FileName;
            EXPECT_EQ(RARProcessFile(o.handle, RAR_SKIP, nullptr, nullptr), ERAR_SUCCESS);
        }
        RARCloseArchive(o.handle);
        // The last member alone, every one before it skipped.
        o = Open(kData + "/" + archive);
        int r;
        while ((r = RARReadHeader(o.handle, &h)) == ERAR_SUCCESS)
            EXPECT_EQ(RARProcessFile(o.handle, last == h.FileName ? RAR_EXTRACT : RAR_SKIP,
                                     const_cast<char*>(tmp.path().c_str()), nullptr),
                      ERAR_SUCCESS);
        RARCloseArchive(o.handle);
        for (const auto& row : Manifest()) {
            if (row.archive == archive && row.member == last) {
                EXPECT_EQ(Sha256(TempDir::Read(tmp / last)), row.sha256);
            }
        }
    }
}

TEST(UnRarLibrary, DamagedDataNeverReplacesAGoodFile)
{
    REQUIRE_CORPUS();
    TempDir tmp;
    // RAR5 members checked by BLAKE2sp and by CRC32, each with one data byte flipped.
    std::string blake = TempDir::Read(kData + "/r5_comment_blake2.rar");
    std::string multi = TempDir::Read(kData + "/r5_compressed_multi.rar");
    blake[blake.size() - 40] ^= 0x01;  // inside the data of the last member (stored)
    multi[multi.size() - 30] ^= 0x01;
    TempDir::Write(tmp / "blake.rar", blake);
    TempDir::Write(tmp / "multi.rar", multi);
    fs::create_directory(tmp / "dest");
    TempDir::Write(tmp / "dest/stest2.txt", "good battle");
    TempDir::Write(tmp / "dest/test4.bin", "good battle");

    auto r = ExtractAll(tmp / "blake.rar", tmp / "dest");
    EXPECT_EQ(r["stest1.txt"], ERAR_SUCCESS);
    EXPECT_EQ(r["stest2.txt"], ERAR_BAD_DATA);
    EXPECT_EQ(TempDir::Read(tmp / "dest/stest2.txt"), "good battle");
    r = ExtractAll(tmp / "multi.rar", tmp / "dest");
    EXPECT_EQ(r["test4.bin"], ERAR_BAD_DATA);
    EXPECT_EQ(TempDir::Read(tmp / "dest/test4.bin"), "good battle");
    // The same in test mode, which writes nothing.
    r = ExtractAll(kData + "/r3_crc_damaged.rar", tmp / "tested", RAR_TEST);
    EXPECT_EQ(r["test.txt"], ERAR_BAD_DATA);
    EXPECT_EQ(r["testdir/test.txt"], ERAR_SUCCESS);
    EXPECT_FALSE(fs::exists(tmp / "tested"));
    for (const auto& e : fs::directory_iterator(tmp / "dest"))
        EXPECT_FALSE(e.path().filename().string().ends_with(base::kPartSuffix)) << e.path();
}

// A real RAR 1.5-4 archive whose header for member claims another CRC32 of the data, the
// header's own check kept right, so that only the data check can catch it.
std::string WithWrongStoredCrc(const std::string& arc, const std::string& member)
{
    std::string out = arc;
    for (size_t pos = 7; pos + 11 <= out.size();) {
        const size_t size = Get16(out, pos + 5);
        const size_t dataSize = (Get16(out, pos + 3) & 0x8000) ? Get16(out, pos + 7) | Get16(out, pos + 9) << 16 : 0;
        std::string name = out.substr(pos + 32, Get16(out, pos + 26));
        std::replace(name.begin(), name.end(), '\\', '/');  // as DOS and Windows hosts store folders
        if (static_cast<uint8_t>(out[pos + 2]) == 0x74 && name == member) {
            out[pos + 16] ^= 0x5A;
            const unsigned crc = rarbytes::Crc(out.substr(pos + 2, size - 2)) & 0xFFFF;
            out[pos] = static_cast<char>(crc & 0xFF);
            out[pos + 1] = static_cast<char>(crc >> 8);
            return out;
        }
        pos += size + dataSize;
    }
    ADD_FAILURE() << member << " not found";
    return out;
}

// Each decoder behind the library: libarchive for a RAR 3.x file that stands alone, libunarr for
// the continuation of a solid archive and for RAR 2.0 compression. On each the stored CRC decides,
// and the damaged member never replaces a good file.
TEST(UnRarLibrary, EveryDecoderIsCheckedAgainstTheStoredCrc)
{
    REQUIRE_CORPUS();
    struct Case {
        const char* archive;
        const char* damaged;
        const char* intact;  // a member of the same archive that still unpacks
    };
    for (const Case& c : {Case {"r3_compressed_best.rar", "testdir/LibarchiveAddingTest.html", "testdir/test.txt"},
                          Case {"r3_solid.rar", "stest2.txt", "stest1.txt"},
                          Case {"r2_audio_compression.rar", "BoatModernEnglish.wav", "LICENSE.txt"}}) {
        SCOPED_TRACE(c.archive);
        TempDir tmp;
        const std::string original = TempDir::Read(kData + "/" + c.archive);
        // The archive as it is unpacks both; with the damaged CRC only the other one.
        auto r = ExtractAll(kData + "/" + c.archive, tmp / "good", RAR_TEST);
        EXPECT_EQ(r[c.damaged], ERAR_SUCCESS);
        EXPECT_EQ(r[c.intact], ERAR_SUCCESS);
        TempDir::Write(tmp / "bad.rar", WithWrongStoredCrc(original, c.damaged));
        r = ExtractAll(tmp / "bad.rar", tmp / "tested", RAR_TEST);
        EXPECT_EQ(r[c.damaged], ERAR_BAD_DATA);
        EXPECT_EQ(r[c.intact], ERAR_SUCCESS);

        const fs::path target = fs::path(tmp / "dest") / c.damaged;
        TempDir::Write(target, "good battle");
        r = ExtractAll(tmp / "bad.rar", tmp / "dest");
        EXPECT_EQ(r[c.damaged], ERAR_BAD_DATA);
        EXPECT_EQ(TempDir::Read(target), "good battle");
        for (const auto& e : fs::directory_iterator(target.parent_path()))
            EXPECT_FALSE(e.path().filename().string().ends_with(base::kPartSuffix)) << e.path();
    }
    // Damaged packed data of a RAR 3.x file is bad data too, whatever the decoder makes of it.
    TempDir tmp;
    std::string flipped = TempDir::Read(kData + "/r3_compressed_best.rar");
    flipped[flipped.size() / 2] ^= 0x10;
    TempDir::Write(tmp / "flipped.rar", flipped);
    int damaged = 0;
    for (const auto& [member, result] : ExtractAll(tmp / "flipped.rar", tmp / "dest", RAR_TEST))
        damaged += result == ERAR_BAD_DATA;
    EXPECT_GE(damaged, 1);
}

TEST(UnRarLibrary, BrokenHeadersAreBadData)
{
    REQUIRE_CORPUS();
    TempDir tmp;
    std::string arc = TempDir::Read(kData + "/r3_basic_links_dirs.rar");
    std::string mainBroken = arc, fileBroken = arc;
    mainBroken[10] ^= 0x01;       // inside the main header
    fileBroken[20 + 35] ^= 0x01;  // inside the first file header's name
    TempDir::Write(tmp / "main.rar", mainBroken);
    TempDir::Write(tmp / "file.rar", fileBroken);
    EXPECT_EQ(Open(tmp / "main.rar").data.OpenResult, unsigned(ERAR_BAD_DATA));
    Opened o = Open(tmp / "file.rar");
    ASSERT_NE(o.handle, nullptr);
    RARHeaderData h {};
    EXPECT_EQ(RARReadHeader(o.handle, &h), ERAR_BAD_DATA);
    RARCloseArchive(o.handle);
}

TEST(UnRarLibrary, UnsafeNamesAreRefusedAndNothingLandsOutside)
{
    TempDir tmp;
    fs::create_directories(tmp / "game");
    fs::create_directories(tmp / "outside");
    const std::vector<Entry> hostile = {
        File("..\\escape.bte", "x"),
        File("sub\\..\\..\\escape.bte", "x"),
        File("/tmp/escape.bte", "x"),
        File("c:\\escape.bte", "x"),
        File("C:escape.bte", "x"),
        File("\\escape.bte", "x"),
        Symlink4("up", "../outside"),
        Symlink4("abs", "/etc/passwd"),
        Symlink4("deep", "sub/../../outside"),
        File("ok.bte", "fine"),
        Symlink4("in", "ok.bte"),
    };
    TempDir::Write(tmp / "hostile4.rar", Rar4(hostile));
    auto r = ExtractAll(tmp / "hostile4.rar", tmp / "game");
    for (const auto& e : hostile) {
        std::string shown = e.name;
        std::replace(shown.begin(), shown.end(), '\\', '/');
        const bool safe = e.name == "ok.bte" || e.name == "in";
        EXPECT_EQ(r[shown], safe ? ERAR_SUCCESS : ERAR_ECREATE) << e.name;
    }
    EXPECT_EQ(TempDir::Read(tmp / "game/ok.bte"), "fine");
    EXPECT_EQ(fs::read_symlink(tmp / "game/in"), "ok.bte");
    EXPECT_FALSE(fs::exists(tmp / "escape.bte"));
    EXPECT_TRUE(fs::is_empty(tmp / "outside"));

    // RAR5 links pointing out, and a link whose target is an absolute path.
    TempDir::Write(tmp / "outside/secret.bte", "secret");
    const std::vector<Entry> links = {
        Redirect5("sym", 1, "../outside"),
        Redirect5("hard.bte", 4, "../outside/secret.bte"),
        Redirect5("copy.bte", 5, "/etc/passwd"),
        Redirect5("a/b/up", 1, "../../.."),
        File("good.bte", "battle"),
        Redirect5("hardgood.bte", 4, "good.bte"),
    };
    TempDir::Write(tmp / "links5.rar", Rar5(links));
    r = ExtractAll(tmp / "links5.rar", tmp / "game");
    EXPECT_EQ(r["sym"], ERAR_ECREATE);
    EXPECT_EQ(r["hard.bte"], ERAR_ECREATE);
    EXPECT_EQ(r["copy.bte"], ERAR_ECREATE);
    EXPECT_EQ(r["a/b/up"], ERAR_ECREATE);
    EXPECT_EQ(r["hardgood.bte"], ERAR_SUCCESS);
    EXPECT_EQ(TempDir::Read(tmp / "game/hardgood.bte"), "battle");
    EXPECT_FALSE(fs::exists(fs::symlink_status(tmp / "game/sym")));
    EXPECT_FALSE(fs::exists(tmp / "game/hard.bte"));
    EXPECT_EQ(fs::directory_iterator(tmp / "outside")->path().filename(), "secret.bte");
}

TEST(UnRarLibrary, SymlinksAlreadyInTheGameDirectoryAreNotWrittenThrough)
{
    TempDir tmp;
    fs::create_directories(tmp / "game");
    fs::create_directories(tmp / "outside");
    TempDir::Write(tmp / "outside/victim.bte", "victim");
    fs::create_directory_symlink(tmp / "outside", tmp / "game/out");
    fs::create_symlink(tmp / "outside/victim.bte", tmp / "game/turn.bte");
    TempDir::Write(tmp / "a.rar", Rar5({File("out/new.bte", "x"), File("turn.bte", "new turn")}));
    auto r = ExtractAll(tmp / "a.rar", tmp / "game");
    EXPECT_EQ(r["out/new.bte"], ERAR_ECREATE);
    EXPECT_EQ(r["turn.bte"], ERAR_SUCCESS);
    // The link itself was replaced by the member; its old target is untouched.
    EXPECT_FALSE(fs::is_symlink(tmp / "game/turn.bte"));
    EXPECT_EQ(TempDir::Read(tmp / "game/turn.bte"), "new turn");
    EXPECT_EQ(TempDir::Read(tmp / "outside/victim.bte"), "victim");
    EXPECT_FALSE(fs::exists(tmp / "outside/new.bte"));
}

TEST(UnRarLibrary, UnwritableDestinationIsACreateError)
{
    TempDir tmp;
    fs::create_directories(tmp / "game");
    TempDir::Write(tmp / "a.rar", Rar4({File("turn.bte", "x")}));
    EXPECT_EQ(ExtractAll(tmp / "a.rar", tmp / "missing")["turn.bte"], ERAR_ECREATE);
    fs::create_directories(tmp / "game/turn.bte");  // a folder where the file goes
    EXPECT_EQ(ExtractAll(tmp / "a.rar", tmp / "game")["turn.bte"], ERAR_ECREATE);
    fs::remove(tmp / "game/turn.bte");
    if (geteuid() == 0)
        GTEST_SKIP() << "running as root: folder permissions do not stop writes";
    fs::permissions(tmp / "game", fs::perms::owner_read | fs::perms::owner_exec);
    auto r = ExtractAll(tmp / "a.rar", tmp / "game");
    fs::permissions(tmp / "game", fs::perms::owner_all);
    EXPECT_EQ(r["turn.bte"], ERAR_ECREATE);
}

TEST(UnRarLibrary, CompressionNoDecoderReadsIsAnUnknownFormat)
{
    TempDir tmp;
    fs::create_directories(tmp / "game");
    Entry rar15 = File("old.bte", "packed by RAR 1.5");
    rar15.unpVer = 15;
    rar15.method = 0x33;
    Entry stored15 = File("plain.bte", "stored by RAR 1.5");
    stored15.unpVer = 15;
    TempDir::Write(tmp / "old.rar", Rar4({stored15, rar15}));
    auto r = ExtractAll(tmp / "old.rar", tmp / "game");
    EXPECT_EQ(r["plain.bte"], ERAR_SUCCESS);
    EXPECT_EQ(r["old.bte"], ERAR_UNKNOWN_FORMAT);
    Entry rar7 = File("new.bte", "packed by a later RAR");
    rar7.unpVer = 1;  // a later algorithm version than RAR5's
    rar7.method = 0x33;
    TempDir::Write(tmp / "new.rar", Rar5({rar7}));
    EXPECT_EQ(ExtractAll(tmp / "new.rar", tmp / "game")["new.bte"], ERAR_UNKNOWN_FORMAT);
    EXPECT_FALSE(fs::exists(tmp / "game/old.bte"));
    EXPECT_FALSE(fs::exists(tmp / "game/new.bte"));
}

// Stored members with comments, and a header that fails both CRC rules: UnRarFrontEndTest.
TEST(UnRarLibrary, OldFileCommentsInsideTheHeaderAreSkipped)
{
    REQUIRE_CORPUS();
    TempDir tmp;
    fs::create_directory(tmp / "packed");
    // Packed members of a real RAR 2.0 archive go through the decoder with the comments in place.
    TempDir::Write(tmp / "packed.rar", WithFileComments(TempDir::Read(kData + "/r2_audio_compression.rar")));
    auto r = ExtractAll(tmp / "packed.rar", tmp / "packed");
    EXPECT_EQ(r["(read)"], ERAR_END_ARCHIVE);
    for (const auto& row : Manifest())
        if (row.archive == "r2_audio_compression.rar" && row.IsMember()) {
            EXPECT_EQ(r[row.member], ERAR_SUCCESS) << row.member;
            EXPECT_EQ(Sha256(TempDir::Read(tmp / ("packed/" + row.member))), row.sha256) << row.member;
        }

    // Without the comment flag the header CRC covers everything behind the name too.
    Entry commented = File("first.bte", "first battle\r\n");
    commented.comment = "Turn 3, your move";
    std::string unflagged = Rar4({commented});
    const size_t header = 7 + 13;
    unflagged[header + 3] &= ~0x08;
    const uint32_t nameCrc = rarbytes::Crc(unflagged.substr(header + 2, 32 - 2 + commented.name.size()));
    unflagged[header] = static_cast<char>(nameCrc & 0xFF);
    unflagged[header + 1] = static_cast<char>(nameCrc >> 8 & 0xFF);
    TempDir::Write(tmp / "unflagged.rar", unflagged);
    EXPECT_EQ(ExtractAll(tmp / "unflagged.rar", tmp / "packed")["(read)"], ERAR_BAD_DATA);
}

TEST(UnRarLibrary, SelfExtractingArchivesAreReadBehindTheirProgram)
{
    REQUIRE_CORPUS();
    TempDir tmp;
    // Packed and solid members of both layouts, each decoder reading from behind the program.
    for (const auto& [archive, magic] :
         std::vector<std::pair<std::string, std::string>> {{"r3_solid.rar", "MZ"},
                                                           {"r5_solid.rar", "MZ"},
                                                           {"r3_compressed_best.rar", "\x7F"
                                                                                      "ELF"}}) {
        SCOPED_TRACE(archive);
        const fs::path sfx = tmp / ("sfx_" + archive);
        TempDir::Write(sfx, Program(magic) + TempDir::Read(kData + "/" + archive));
        const fs::path dest = tmp / archive;
        fs::create_directory(dest);
        auto r = ExtractAll(sfx, dest);
        EXPECT_EQ(r["(read)"], ERAR_END_ARCHIVE);
        for (const auto& row : Manifest())
            if (row.archive == archive && row.IsMember() && row.sha256.size() == 64) {
                EXPECT_EQ(r[row.member], ERAR_SUCCESS) << row.member;
                EXPECT_EQ(Sha256(TempDir::Read(dest / row.member)), row.sha256) << row.member;
            }
    }
    TempDir::Write(tmp / "comment.exe", Program("MZ") + TempDir::Read(kData + "/r3_comment.rar"));
    Opened o = Open(tmp / "comment.exe");
    ASSERT_NE(o.handle, nullptr);
    EXPECT_EQ(o.data.CmtState, 1u);
    EXPECT_STREQ(o.comment.data(), "RARcomment\n");
    RARCloseArchive(o.handle);

    // A program with no archive behind it, and an archive behind anything but a program.
    TempDir::Write(tmp / "plain.exe", Program("MZ"));
    EXPECT_EQ(Open(tmp / "plain.exe").data.OpenResult, unsigned(ERAR_BAD_ARCHIVE));
    TempDir::Write(tmp / "text.rar", "Dear Ann, here is my turn:\n" + Rar4({File("turn.bte", "x")}));
    EXPECT_EQ(Open(tmp / "text.rar").data.OpenResult, unsigned(ERAR_BAD_ARCHIVE));
    TempDir::Write(tmp / "locked.exe", Program("MZ") + rarbytes::Rar5EncryptedHeaders());
    EXPECT_EQ(Open(tmp / "locked.exe").data.OpenResult, unsigned(ERAR_MISSING_PASSWORD));
}

TEST(UnRarLibrary, EncryptionIsReportedAsAMissingPassword)
{
    TempDir tmp;
    TempDir::Write(tmp / "headers.rar", rarbytes::Rar5EncryptedHeaders());
    Opened o = Open(tmp / "headers.rar");
    EXPECT_EQ(o.handle, nullptr);
    EXPECT_EQ(o.data.OpenResult, unsigned(ERAR_MISSING_PASSWORD));

    // Flagged members whose data would even pass its CRC: never written as if plain.
    Entry locked = File("locked.bte", "not really secret");
    locked.encrypted = true;
    for (const auto& [layout, bytes] :
         std::vector<std::pair<std::string, std::string>> {{"rar4", Rar4({File("open.bte", "plain"), locked})},
                                                           {"rar5", Rar5({File("open.bte", "plain"), locked})}}) {
        SCOPED_TRACE(layout);
        fs::create_directory(tmp / layout);
        TempDir::Write(tmp / (layout + ".rar"), bytes);
        auto r = ExtractAll(tmp / (layout + ".rar"), tmp / layout);
        EXPECT_EQ(r["open.bte"], ERAR_SUCCESS);
        EXPECT_EQ(r["locked.bte"], ERAR_MISSING_PASSWORD);
        EXPECT_FALSE(fs::exists(tmp / (layout + "/locked.bte")));
        EXPECT_EQ(ExtractAll(tmp / (layout + ".rar"), tmp / layout, RAR_TEST)["locked.bte"], ERAR_MISSING_PASSWORD);
    }
}

TEST(UnRarLibrary, DestinationNameIsWhereTheMemberLandsUnderTheSameRules)
{
    TempDir tmp;
    fs::create_directories(tmp / "game");
    TempDir::Write(tmp / "game/Turn07.bte", "good turn");
    TempDir::Write(tmp / "a.rar", Rar5({File("stored/name.bte", "new turn"), File("other.bte", "x")}));
    Opened o = Open(tmp / "a.rar");
    ASSERT_NE(o.handle, nullptr);
    RARHeaderData h {};
    ASSERT_EQ(RARReadHeader(o.handle, &h), ERAR_SUCCESS);
    std::string exact = tmp / "game/TURN07.BTE";
    EXPECT_EQ(RARProcessFile(o.handle, RAR_EXTRACT, nullptr, exact.data()), ERAR_SUCCESS);
    ASSERT_EQ(RARReadHeader(o.handle, &h), ERAR_SUCCESS);
    std::string unsafe = tmp / "game/bad\nname.bte";
    EXPECT_EQ(RARProcessFile(o.handle, RAR_EXTRACT, nullptr, unsafe.data()), ERAR_ECREATE);
    char name[64], reason[256];
    EXPECT_EQ(RARGetLastRefusal(o.handle, name, sizeof name, reason, sizeof reason), 1);
    EXPECT_STREQ(name, "other.bte");
    EXPECT_EQ(reason, base::Describe({base::Refusal::UnsafeName}));
    // Cut to the field, never past it.
    EXPECT_EQ(RARGetLastRefusal(o.handle, name, 4, reason, 8), 1);
    EXPECT_STREQ(name, "oth");
    EXPECT_EQ(std::strlen(reason), 7u);
    EXPECT_EQ(RARReadHeader(o.handle, &h), ERAR_END_ARCHIVE);
    EXPECT_EQ(RARGetLastRefusal(o.handle, name, sizeof name, reason, sizeof reason), 0);
    RARCloseArchive(o.handle);
    EXPECT_EQ(TempDir::Read(tmp / "game/Turn07.bte"), "new turn");
    EXPECT_EQ(std::distance(fs::directory_iterator(tmp / "game"), {}), 1);
}
