// The ACE decoder on the shared corpus: every archive gives what its MANIFEST says, and damaged
// copies are refused without a crash, without touching good files and without stray files.
#include "AceArchive.h"
#include "AceDecoder.h"
#include "AceExtractor.h"
#include "SharedCorpus.h"
#include "support/TempDir.h"

#include <QCryptographicHash>
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>
#include <random>
#include <set>

namespace fs = std::filesystem;

namespace {

const std::string kCorpus = ACE_TESTDATA_DIR;

const std::vector<corpus::Row>& Manifest()
{
    static const std::vector<corpus::Row> rows = corpus::LoadManifest(kCorpus);
    return rows;
}

std::vector<uint8_t> ReadBytes(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

std::string Sha256(const std::string& bytes)
{
    return QCryptographicHash::hash(QByteArrayView(bytes.data(), static_cast<qsizetype>(bytes.size())),
                                    QCryptographicHash::Sha256)
        .toHex()
        .toStdString();
}

// What the (archive) row of the manifest expects of a whole extraction.
ace::Status ExpectedRefusal(const corpus::Row& archiveRow)
{
    if (archiveRow.NotesSay("multivolume"))
        return ace::Status::MultiVolume;
    if (archiveRow.NotesSay("encrypted"))
        return ace::Status::Encrypted;
    return ace::Status::Ok;
}

// Every regular file and folder below dir, relative, folders ending in "/".
std::map<std::string, std::string> Tree(const std::string& dir)
{
    std::map<std::string, std::string> out;
    for (auto& e : fs::recursive_directory_iterator(dir)) {
        std::string rel = fs::relative(e.path(), dir).generic_string();
        if (e.is_directory())
            out[rel + "/"] = "-";
        else
            out[rel] = TempDir::Read(e.path().string());
    }
    return out;
}

// All members decoded in memory; the status of the first that fails.
ace::Status DecodeAll(const std::vector<uint8_t>& bytes, std::vector<std::string>* contents = nullptr)
{
    ace::AceArchive archive;
    if (ace::Status s = archive.Open(bytes); s != ace::Status::Ok)
        return s;
    if (ace::Status s = archive.CheckExtractable(); s != ace::Status::Ok)
        return s;
    ace::AceDecoder decoder;
    for (const auto& m : archive.Members()) {
        if (!archive.IsSolid())
            decoder.Reset();
        if (m.IsDirectory())
            continue;
        std::string out;
        ace::Status s = decoder.DecodeMember(m, archive.PackedData(m), [&](const uint8_t* d, size_t n) {
            out.append(reinterpret_cast<const char*>(d), n);
            return true;
        });
        if (s != ace::Status::Ok)
            return s;
        if (contents)
            contents->push_back(std::move(out));
    }
    return ace::Status::Ok;
}

#define REQUIRE_CORPUS() REQUIRE_SHARED_DATA(fs::exists(kCorpus + "/MANIFEST.tsv"), kCorpus)

}  // namespace

TEST(UnaceCrc, KnownValues)
{
    auto crc = [](const std::string& s) { return ace::Crc32(reinterpret_cast<const uint8_t*>(s.data()), s.size()); };
    EXPECT_EQ(crc("123456789"), 0x340BC6D9u);
    EXPECT_EQ(crc("42"), 0xCDDB4F77u);
    EXPECT_EQ(crc(""), 0xFFFFFFFFu);
}

// One case per manifest row: an archive file and its extraction as a whole, a continuation
// volume, or one member extracted on its own.
class UnaceCorpusRow : public ::testing::TestWithParam<corpus::Row> {};

TEST_P(UnaceCorpusRow, GivesWhatTheManifestSays)
{
    const corpus::Row& row = GetParam();
    REQUIRE_MANIFEST_ROW(row, kCorpus);
    const auto bytes = ReadBytes(kCorpus + "/" + row.archive);
    if (!row.IsMember()) {
        // The file is the one the manifest describes: a changed copy would make every row moot.
        EXPECT_EQ(std::to_string(bytes.size()), row.size);
        EXPECT_EQ(Sha256(std::string(bytes.begin(), bytes.end())), row.sha256);
    }
    TempDir tmp;
    const std::string dest = tmp / "game";
    fs::create_directory(dest);
    if (row.member.rfind("(volume", 0) == 0) {
        // A later volume on its own is nothing to extract.
        EXPECT_NE(ace::ExtractArchive(bytes, dest), ace::Status::Ok);
        EXPECT_TRUE(fs::is_empty(dest));
        return;
    }
    const auto archiveRow = std::find_if(Manifest().begin(), Manifest().end(), [&](const corpus::Row& r) {
        return r.archive == row.archive && r.member == "(archive)";
    });
    ASSERT_NE(archiveRow, Manifest().end()) << "the manifest has no (archive) row for " << row.archive;

    // A folder is asked for by its name alone, as the archive stores it.
    const std::string wanted = row.IsDirectory() ? row.member.substr(0, row.member.size() - 1) : row.member;
    const ace::Status status =
        row.IsMember() ? ace::ExtractArchive(bytes, dest, {wanted}) : ace::ExtractArchive(bytes, dest);
    if (row.archive == "dirtraversal1.ace") {
        EXPECT_NE(status, ace::Status::Ok);
        EXPECT_TRUE(fs::is_empty(dest));
        EXPECT_EQ(std::distance(fs::directory_iterator(tmp.path()), {}), 1) << "something landed beside the game";
        return;
    }
    if (const ace::Status refusal = ExpectedRefusal(*archiveRow); refusal != ace::Status::Ok) {
        EXPECT_EQ(status, refusal) << ace::StatusText(status);
        EXPECT_TRUE(fs::is_empty(dest)) << "a refused archive writes nothing";
        return;
    }
    ASSERT_EQ(status, ace::Status::Ok) << ace::StatusText(status);
    const auto tree = Tree(dest);
    // Parent folders of members are created even without an entry of their own.
    auto isParentOf = [](const std::string& folder, const std::string& name) {
        return folder.back() == '/' && name.size() > folder.size() && name.rfind(folder, 0) == 0;
    };
    if (!row.IsMember()) {
        // The whole archive gives exactly the members the manifest lists.
        std::set<std::string> listed;
        for (const auto& r : Manifest())
            if (r.archive == row.archive && r.IsMember())
                listed.insert(r.member);
        for (const auto& name : listed)
            EXPECT_TRUE(tree.count(name)) << "missing " << name;
        for (const auto& [name, contents] : tree)
            EXPECT_TRUE(listed.count(name) || std::any_of(listed.begin(), listed.end(),
                                                          [&](const std::string& m) { return isParentOf(name, m); }))
                << "unexpected " << name;
        return;
    }
    // The member alone, with the folders above it.
    for (const auto& [name, contents] : tree)
        EXPECT_TRUE(name == row.member || isParentOf(name, row.member)) << "unexpected " << name;
    const auto it = tree.find(row.member);
    ASSERT_NE(it, tree.end()) << "missing";
    if (!row.IsDirectory()) {
        EXPECT_EQ(std::to_string(it->second.size()), row.size);
        EXPECT_EQ(Sha256(it->second), row.sha256);
    }
}

INSTANTIATE_TEST_SUITE_P(Manifest, UnaceCorpusRow, ::testing::ValuesIn(corpus::LoadManifest(kCorpus)), corpus::RowName);

TEST(UnaceCorpus, ArchiveBehindAStubIsFound)
{
    REQUIRE_CORPUS();
    auto bytes = ReadBytes(kCorpus + "/t.ace");
    std::vector<uint8_t> sfx(5000 + bytes.size(), 'M');
    sfx[100] = '*';  // a stray signature start must not confuse the search
    std::copy(bytes.begin(), bytes.end(), sfx.begin() + 5000);
    std::vector<std::string> contents;
    ASSERT_EQ(DecodeAll(sfx, &contents), ace::Status::Ok);
    ASSERT_EQ(contents.size(), 1u);
    EXPECT_EQ(contents[0], "42");
    std::vector<uint8_t> plain(5000, 0);
    EXPECT_EQ(DecodeAll(plain), ace::Status::NotAce);
}

// Damaged copies of real archives: flipped bits anywhere and truncations at any length. Either the
// damage is refused or (a flip in unused padding bits) the members still come out exactly right.
TEST(UnaceCorpus, DamagedCopiesAreRefusedWithoutACrash)
{
    REQUIRE_CORPUS();
    std::mt19937 rng(20240917);
    for (const char* file :
         {"t.ace", "ace_nested2.ace", "license1.ace", "Ace.method1.ace", "Ace.method2.ace", "ALCHT.ACE", "trps.ace",
          "zdir.ace", "synthetic/synthetic-pic-3planes.ace", "synthetic/synthetic-sound-mode5.ace",
          "synthetic/synthetic-delta-2blocks.ace", "synthetic/synthetic-exe-e8-32bit.ace"}) {
        SCOPED_TRACE(file);
        const auto good = ReadBytes(kCorpus + "/" + file);
        ASSERT_FALSE(good.empty());
        std::vector<std::string> goodContents;
        ASSERT_EQ(DecodeAll(good, &goodContents), ace::Status::Ok);
        int refused = 0;
        for (int i = 0; i < 150; ++i) {
            auto bad = good;
            size_t at = rng() % bad.size();
            bad[at] ^= static_cast<uint8_t>(1u << (rng() % 8));
            std::vector<std::string> contents;
            ace::Status s = DecodeAll(bad, &contents);
            if (s == ace::Status::Ok)
                EXPECT_EQ(contents, goodContents) << "flip at " << at << " went unnoticed";
            else
                ++refused;
        }
        EXPECT_GT(refused, 100);
        for (size_t len : {size_t {0}, size_t {3}, size_t {20}, good.size() / 3, good.size() / 2, good.size() - 5,
                           good.size() - 1}) {
            std::vector<uint8_t> cut(good.begin(), good.begin() + static_cast<std::ptrdiff_t>(len));
            EXPECT_NE(DecodeAll(cut), ace::Status::Ok) << "cut to " << len;
        }
    }
}

TEST(UnaceCorpus, DamagedArchiveNeverReplacesAGoodFile)
{
    REQUIRE_CORPUS();
    const auto good = ReadBytes(kCorpus + "/Ace.method1.ace");
    TempDir tmp;
    const std::string dest = tmp / "game";
    fs::create_directory(dest);
    ASSERT_EQ(ace::ExtractArchive(good, dest), ace::Status::Ok);
    const auto before = Tree(dest);
    std::mt19937 rng(7);
    ace::AceArchive archive;
    ASSERT_EQ(archive.Open(good), ace::Status::Ok);
    for (int i = 0; i < 40; ++i) {
        auto bad = good;
        // Damage the packed data of some member, so its header still looks fine.
        const auto& m = archive.Members()[rng() % archive.Members().size()];
        if (m.packSize == 0)
            continue;
        bad[m.dataOffset + rng() % (m.packSize / 2 + 1)] ^= 0x10;
        ace::ExtractArchive(bad, dest);
        EXPECT_EQ(Tree(dest), before) << "member " << m.name;
    }
    // A truncated copy: same.
    std::vector<uint8_t> cut(good.begin(), good.end() - 100);
    EXPECT_EQ(ace::ExtractArchive(cut, dest), ace::Status::Truncated);
    EXPECT_EQ(Tree(dest), before);
}

TEST(UnaceNames, UnsafeNamesAreRefused)
{
    EXPECT_EQ(ace::MemberPath("dir\\sub\\file.bte"), "dir/sub/file.bte");
    EXPECT_EQ(ace::MemberPath("x..y"), "x..y");
    EXPECT_EQ(ace::MemberPath("\x84rger.bte"), "\xC3\xA4rger.bte");  // OEM 437 a-umlaut
    for (const char* bad :
         {"..\\..\\x", "\\abs", "/abs", "c:\\x", "C:x", "\\\\server\\share\\x", "a\\..\\..\\b", "tab\there", ""})
        EXPECT_EQ(ace::MemberPath(bad), "") << bad;
}
