// The ACE decoder on the shared corpus: every archive gives what its MANIFEST says, and damaged
// copies are refused without a crash, without touching good files and without stray files.
#include "AceArchive.h"
#include "AceDecoder.h"
#include "AceExtractor.h"
#include "support/TempDir.h"

#include <QCryptographicHash>
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <random>
#include <sstream>

namespace fs = std::filesystem;

namespace {

const std::string kCorpus = ACE_TESTDATA_DIR;

struct Expected {
    std::string name;  // "/" separators, folders end in "/"
    uint64_t size = 0;
    std::string sha256;  // "-" for folders and members nobody could decode
};

struct CorpusArchive {
    std::string file;
    std::string notes;
    std::vector<Expected> members;
};

std::vector<CorpusArchive> LoadManifest()
{
    std::vector<CorpusArchive> out;
    std::ifstream in(kCorpus + "/MANIFEST.tsv");
    std::string line;
    std::getline(in, line);  // header
    std::map<std::string, size_t> index;
    while (std::getline(in, line)) {
        std::vector<std::string> f;
        std::stringstream ss(line);
        std::string cell;
        while (std::getline(ss, cell, '\t'))
            f.push_back(cell);
        if (f.size() < 5)
            continue;
        if (f[1] == "(archive)") {
            index[f[0]] = out.size();
            out.push_back({f[0], f[4], {}});
        } else if (f[1].rfind("(volume", 0) != 0 && index.count(f[0])) {
            out[index[f[0]]].members.push_back({f[1], std::stoull(f[2]), f[3]});
        }
    }
    return out;
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

// What a refusal row of the manifest expects.
ace::Status ExpectedRefusal(const CorpusArchive& a)
{
    if (a.notes.find("multivolume") != std::string::npos)
        return ace::Status::MultiVolume;
    if (a.notes.find("encrypted") != std::string::npos)
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

#define REQUIRE_CORPUS()                                                                      \
    if (!fs::exists(kCorpus + "/MANIFEST.tsv"))                                               \
    GTEST_SKIP() << "shared ACE test data not found at " << kCorpus << " (../shared/testdata/ace)"

}  // namespace

TEST(UnaceCrc, KnownValues)
{
    auto crc = [](const std::string& s) { return ace::Crc32(reinterpret_cast<const uint8_t*>(s.data()), s.size()); };
    EXPECT_EQ(crc("123456789"), 0x340BC6D9u);
    EXPECT_EQ(crc("42"), 0xCDDB4F77u);
    EXPECT_EQ(crc(""), 0xFFFFFFFFu);
}

TEST(UnaceCorpus, EveryArchiveGivesWhatTheManifestSays)
{
    REQUIRE_CORPUS();
    auto manifest = LoadManifest();
    ASSERT_GE(manifest.size(), 25u);
    size_t filesChecked = 0;
    for (const auto& a : manifest) {
        SCOPED_TRACE(a.file);
        if (a.notes.find("continuation volume") != std::string::npos)
            continue;
        TempDir tmp;
        const std::string dest = tmp / "game";
        fs::create_directory(dest);
        auto bytes = ReadBytes(kCorpus + "/" + a.file);
        ace::Status status = ace::ExtractArchive(bytes, dest);
        const ace::Status refusal = ExpectedRefusal(a);
        if (a.file == "dirtraversal1.ace") {
            EXPECT_NE(status, ace::Status::Ok);
            EXPECT_TRUE(fs::is_empty(dest));
            EXPECT_TRUE(fs::is_empty(tmp.path() + "/game"));
            continue;
        }
        if (refusal != ace::Status::Ok) {
            EXPECT_EQ(status, refusal) << ace::StatusText(status);
            EXPECT_TRUE(fs::is_empty(dest)) << "a refused archive writes nothing";
            continue;
        }
        ASSERT_EQ(status, ace::Status::Ok) << ace::StatusText(status);
        auto tree = Tree(dest);
        std::map<std::string, const Expected*> expected;
        for (const auto& m : a.members)
            expected[m.name] = &m;
        for (const auto& [name, e] : expected) {
            SCOPED_TRACE(name);
            auto it = tree.find(name);
            ASSERT_NE(it, tree.end()) << "missing";
            if (name.back() == '/')
                continue;
            EXPECT_EQ(it->second.size(), e->size);
            EXPECT_EQ(Sha256(it->second), e->sha256);
            ++filesChecked;
        }
        for (const auto& [name, contents] : tree)
            if (!expected.count(name) && name.back() == '/') {
                // Parent folders of members are created even without an entry of their own.
                bool isParent = false;
                for (const auto& [n, e] : expected)
                    isParent = isParent || n.rfind(name, 0) == 0;
                EXPECT_TRUE(isParent) << "unexpected folder " << name;
            } else {
                EXPECT_TRUE(expected.count(name)) << "unexpected file " << name;
            }
    }
    EXPECT_GE(filesChecked, 1314u);
}

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
    for (const char* file : {"t.ace", "ace_nested2.ace", "license1.ace", "Ace.method1.ace", "Ace.method2.ace",
                             "ALCHT.ACE", "trps.ace", "zdir.ace", "synthetic/synthetic-pic-3planes.ace",
                             "synthetic/synthetic-sound-mode5.ace", "synthetic/synthetic-delta-2blocks.ace",
                             "synthetic/synthetic-exe-e8-32bit.ace"}) {
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
        for (size_t len : {size_t{0}, size_t{3}, size_t{20}, good.size() / 3, good.size() / 2, good.size() - 5,
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
    for (const char* bad : {"..\\..\\x", "\\abs", "/abs", "c:\\x", "C:x", "\\\\server\\share\\x", "a\\..\\..\\b",
                            "tab\there", ""})
        EXPECT_EQ(ace::MemberPath(bad), "") << bad;
}
