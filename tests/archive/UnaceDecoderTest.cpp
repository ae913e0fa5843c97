// The ACE decoder on the shared corpus: every archive gives what its MANIFEST says, and damaged
// copies are refused without a crash, without touching good files and without stray files.
#include "AceArchive.h"
#include "AceDecoder.h"
#include "AceExtractor.h"
#include "SharedCorpus.h"
#include "support/AceBytes.h"
#include "support/TempDir.h"

#include <QCryptographicHash>
#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
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

namespace {

using acebytes::AceBlock;
using acebytes::AceCrc;
using acebytes::Le16;
using acebytes::Le32;

// Bits as the decoder reads them: the most significant first, in little-endian 32-bit words.
class BitWriter {
public:
    void Put(uint32_t value, int count)
    {
        for (int i = count - 1; i >= 0; --i) {
            word_ |= ((value >> i) & 1u) << (31 - used_);
            if (++used_ == 32)
                Flush();
        }
    }
    // The code of width k when every used symbol's width differs: k-1 ones, then a zero.
    void PutCode(int width) { Put((1u << width) - 2, width); }
    std::string Finish()
    {
        if (used_ > 0)
            Flush();
        return bytes_;
    }

private:
    void Flush()
    {
        for (int shift = 0; shift < 32; shift += 8)
            bytes_ += static_cast<char>(word_ >> shift);
        word_ = 0;
        used_ = 0;
    }
    std::string bytes_;
    uint32_t word_ = 0;
    int used_ = 0;
};

// Widths travel as differences modulo 8 through a width tree whose used codes all differ in
// length: the run symbol 8 "0", difference 1 "10", 7 "110", 0 "1110", 2 "11110".
void PutWidthTree(BitWriter& bits)
{
    bits.Put(0, 4);  // lo
    bits.Put(8, 4);  // hi
    for (uint32_t width : {4, 2, 5, 0, 0, 0, 0, 3, 1})
        bits.Put(width, 3);
}

void PutDifference(BitWriter& bits, int difference)
{
    const std::map<int, int> width {{1, 2}, {7, 3}, {0, 4}, {2, 5}};
    bits.PutCode(width.at(difference));
}

void PutZeroRuns(BitWriter& bits, int zeros)
{
    for (; zeros >= 4;) {
        const int n = std::min(zeros, 19);
        bits.Put(0, 1);
        bits.Put(static_cast<uint32_t>(n - 4), 4);
        zeros -= n;
    }
    for (; zeros > 0; --zeros)
        PutDifference(bits, 0);
}

// A table whose symbol `single` has width 1 and symbols from..from+5 widths 2 to 7; the others
// are unused. Widths: `single` zeros, then 1, back to 0, zeros up to `from`, then 2, 3, ... 7.
void PutTable(BitWriter& bits, int single, int from)
{
    bits.Put(static_cast<uint32_t>(from + 5), 9);
    PutWidthTree(bits);
    PutZeroRuns(bits, single);
    PutDifference(bits, 1);
    PutDifference(bits, 7);
    PutZeroRuns(bits, from - single - 2);
    PutDifference(bits, 2);
    for (int k = 1; k < 6; ++k)
        PutDifference(bits, 1);
}

struct Copy {
    unsigned distance;  // 0: the last distance again
    unsigned length;
};

// An LZ77 member made only of copies. Main symbols: 256 (the last distance) "0", and a new distance
// of nb significant bits (260 + nb, nb up to 5) the code of width nb + 2. Length symbols: 0 (2 bytes)
// "0", and 250 + k (252 + k bytes) the code of width k + 2.
std::string PackCopies(const std::vector<Copy>& copies)
{
    BitWriter bits;
    PutTable(bits, 256, 260);
    PutTable(bits, 0, 250);
    bits.Put(static_cast<uint32_t>(copies.size()), 15);
    for (const Copy& c : copies) {
        if (c.distance == 0) {
            bits.PutCode(1);
        } else {
            const unsigned d = c.distance - 1;
            const int nb = d == 0 ? 0 : std::bit_width(d);
            bits.PutCode(nb + 2);
            if (nb > 1)
                bits.Put(d - (1u << (nb - 1)), nb - 1);
        }
        bits.PutCode(c.length == 2 ? 1 : static_cast<int>(c.length) - 252 + 2);
    }
    return bits.Finish();
}

std::string MemberBlock(const std::string& name, uint8_t method, const std::string& packed, const std::string& contents)
{
    return AceBlock(std::string(1, '\1') + Le16(1) + Le32(static_cast<uint32_t>(packed.size())) +
                    Le32(static_cast<uint32_t>(contents.size())) + Le32(0x41046DDA) + Le32(0x20) +
                    Le32(AceCrc(contents)) + static_cast<char>(method) + std::string(1, '\0') + Le16(10) + Le16(0) +
                    Le16(static_cast<uint16_t>(name.size())) + name) +
           packed;
}

}  // namespace

// Copies at every short distance and at distances past 8, overlapping what they make, with lengths
// from 2 to 257, again at the last distance, and reaching into the member before (a solid
// archive). Each byte must be what a copy of one byte at a time makes.
TEST(UnaceCopies, EveryDistanceAndLengthGivesWhatByteWiseCopyingGives)
{
    std::mt19937 rng(5);
    std::string seed(40, '\0');
    for (char& c : seed)
        c = static_cast<char>(rng());
    std::vector<Copy> copies;
    // Longest distance first: each distance repeats the last bytes of the one before, so the
    // pattern it copies never becomes one byte over and over until distance 1.
    for (unsigned distance = 32; distance >= 1; --distance)
        for (unsigned length : {2u, 252u, 253u, 254u, 255u, 256u, 257u}) {
            copies.push_back({distance, length});
            copies.push_back({0, length == 2 ? 257u : 2u});
        }
    std::string made = seed;
    unsigned last = 0;
    for (const Copy& c : copies) {
        const unsigned distance = c.distance ? c.distance : last;
        last = distance;
        for (unsigned i = 0; i < c.length; ++i)
            made += made[made.size() - distance];
    }
    const std::string contents = made.substr(seed.size());

    const std::string header =
        AceBlock(std::string(1, '\0') + Le16(0x8000) + "**ACE**" + std::string("\x0A\x0A\x02\x00", 4) +
                 Le32(0x41046F21) + std::string(8, '\0') + std::string(1, '\0'));
    const std::string archive =
        header + MemberBlock("seed", 0, seed, seed) + MemberBlock("copies", 1, PackCopies(copies), contents);
    std::vector<std::string> decoded;
    ASSERT_EQ(DecodeAll(std::vector<uint8_t>(archive.begin(), archive.end()), &decoded), ace::Status::Ok);
    ASSERT_EQ(decoded.size(), 2u);
    EXPECT_EQ(decoded[1], contents);
}
