// libunrar.so through its C interface: every archive of the shared RAR corpus against its
// manifest, comments, damaged copies, and hostile archives made here (no RAR writer exists on
// this system, so minimal stored archives are written byte by byte, checksums included).
#include "support/TempDir.h"

#include "RarBytes.h"
#include "SharedCorpus.h"
#include "turnex/unrar.h"

#include <QCryptographicHash>

#include <gtest/gtest.h>

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

using rarbytes::Crc;
using rarbytes::Put16;
using rarbytes::Put32;
using rarbytes::PutVint;

struct Entry {
    std::string name;
    std::string data;  // a symlink's target for RAR 1.5-4 symlinks
    bool symlink = false;
    int redirType = 0;  // RAR5: 1 symlink, 4 hard link, 5 file copy
    std::string redirTarget;
    unsigned unpVer = 20;  // RAR 1.5-4 compression version; RAR5: the version bits of the compression field
    unsigned method = 0x30;
};

Entry File(const std::string& name, const std::string& data) { return Entry {name, data, false, 0, {}, 20, 0x30}; }
Entry Symlink4(const std::string& name, const std::string& target)
{
    return Entry {name, target, true, 0, {}, 20, 0x30};
}
Entry Redirect5(const std::string& name, int type, const std::string& target)
{
    return Entry {name, {}, false, type, target, 20, 0x30};
}

std::string Block4(const std::string& body)
{
    std::string b;
    Put16(b, Crc(body) & 0xFFFF);
    return b + body;
}

std::string Rar4(const std::vector<Entry>& entries)
{
    std::string out("Rar!\x1A\x07\x00", 7);
    std::string main("\x73", 1);
    Put16(main, 0);
    Put16(main, 13);
    main.append(6, '\0');
    out += Block4(main);
    for (const auto& e : entries) {
        std::string h("\x74", 1);
        Put16(h, 0x8000);
        Put16(h, 32 + e.name.size());
        Put32(h, e.data.size());
        Put32(h, e.data.size());
        h += e.symlink ? '\x03' : '\x02';
        Put32(h, Crc(e.data));
        Put32(h, 0x5A210000);  // 2025-01-01
        h += static_cast<char>(e.unpVer);
        h += static_cast<char>(e.method);
        Put16(h, e.name.size());
        Put32(h, e.symlink ? 0xA1FF : 0x20);
        h += e.name;
        out += Block4(h) + e.data;
    }
    std::string end("\x7B", 1);
    Put16(end, 0x4000);
    Put16(end, 7);
    return out + Block4(end);
}

std::string Header5(const std::string& body)
{
    std::string sized;
    PutVint(sized, body.size());
    sized += body;
    std::string h;
    Put32(h, Crc(sized));
    return h + sized;
}

std::string Rar5(const std::vector<Entry>& entries)
{
    std::string out("Rar!\x1A\x07\x01\x00", 8);
    out += Header5(std::string("\x01\x00\x00", 3));
    for (const auto& e : entries) {
        std::string extra;
        if (e.redirType) {
            std::string rec;
            PutVint(rec, 5);
            PutVint(rec, e.redirType);
            PutVint(rec, 0);
            PutVint(rec, e.redirTarget.size());
            rec += e.redirTarget;
            PutVint(extra, rec.size());
            extra += rec;
        }
        std::string h;
        PutVint(h, 2);
        PutVint(h, 0x02 | (extra.empty() ? 0 : 0x01));
        if (!extra.empty())
            PutVint(h, extra.size());
        PutVint(h, e.data.size());
        PutVint(h, 0x04);
        PutVint(h, e.data.size());
        PutVint(h, e.redirType == 1 ? 0xA1FF : 0x81A4);
        Put32(h, Crc(e.data));
        PutVint(h, e.unpVer == 20 ? 0 : e.unpVer | (e.method - 0x30) << 7);
        PutVint(h, 1);
        PutVint(h, e.name.size());
        h += e.name + extra;
        out += Header5(h) + e.data;
    }
    return out + Header5(std::string("\x05\x00\x00", 3));
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
            EXPECT_EQ(e.path().filename().string().rfind(".unrar", 0), std::string::npos) << e.path();
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
        EXPECT_EQ(e.path().filename().string().rfind(".unrar", 0), std::string::npos);
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
