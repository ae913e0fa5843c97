// Hostile ACE archives, built here from the format description: members in another letter case,
// a bomb (a small LZ77 stream that unpacks to 200 MB of zeros), sizes past what a member may hold
// or past what it declares, control characters, deep names and a run killed halfway. Each time a
// good file of the same name stays as it was, and nothing changes outside the destination.
#include "AceArchive.h"
#include "AceExtractor.h"
#include "archive/AceExtraction.h"
#include "support/AceBytes.h"
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

using acebytes::AceBlock;
using acebytes::AceCrc;
using acebytes::Le16;
using acebytes::Le32;

using Lines = std::vector<std::string>;

struct Entry {
    std::string name;  // as stored: OEM text, "\" separators
    std::string packed;
    uint64_t origSize = 0;
    uint32_t crc = 0xFFFFFFFFu;
    uint8_t method = 0;
    uint32_t attributes = 0x20;
};

Entry Stored(const std::string& name, const std::string& data)
{
    return {name, data, data.size(), AceCrc(data), 0, 0x20};
}

Entry Folder(const std::string& name) { return {name, "", 0, 0xFFFFFFFFu, 0, 0x10}; }

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
    std::string Finish()
    {
        if (used_ > 0)
            Flush();
        return bytes_;
    }

private:
    void Flush()
    {
        bytes_ += Le32(word_);
        word_ = 0;
        used_ = 0;
    }
    std::string bytes_;
    uint32_t word_ = 0;
    int used_ = 0;
};

// Runs of zero width differences, 4 to 19 at a time; the width tree's run symbol is "0".
void PutRuns(BitWriter& bits, int zeros)
{
    while (zeros > 0) {
        int n = std::min(zeros, 19);
        if (zeros - n > 0 && zeros - n < 4)
            n = zeros - 4;
        bits.Put(0, 1);
        bits.Put(static_cast<uint32_t>(n - 4), 4);
        zeros -= n;
    }
}

// The main table: the literal 0 with a 2-bit code "10", "copy at the last distance" (symbol 256)
// with the 1-bit code "0". Widths go as differences modulo 3 through a width tree whose codes
// all differ in length, so that no order among equal widths matters.
void PutMainTable(BitWriter& bits)
{
    bits.Put(256, 9);  // widths of symbols 0 to 256
    bits.Put(0, 4);    // lo
    bits.Put(3, 4);    // hi: differences 0..2, run symbol 3
    for (uint32_t width : {4, 3, 2, 1})
        bits.Put(width, 3);  // difference 0 "1110", 1 "110", 2 "10", run "0"
    bits.Put(0b10, 2);       // symbol 0: width 2
    bits.Put(0b110, 3);      // symbol 1: back to 0
    PutRuns(bits, 254);      // symbols 2 to 255: unused
    bits.Put(0b110, 3);      // symbol 256: width 1
}

// The length table: only symbol 255 (a length of 257), decoded by a single "0".
void PutLengthTable(BitWriter& bits)
{
    bits.Put(255, 9);
    bits.Put(0, 4);
    bits.Put(2, 4);  // differences 0..1, run symbol 2
    for (uint32_t width : {3, 2, 1})
        bits.Put(width, 3);  // difference 0 "110", 1 "10", run "0"
    PutRuns(bits, 255);
    bits.Put(0b10, 2);
}

// An LZ77 member of zeros: one literal, then `copies` copies of 257 bytes at distance 1, two bits
// each. A member of 200 MB packs into about 200 KB.
Entry Zeros(const std::string& name, uint64_t copies)
{
    BitWriter bits;
    uint64_t symbols = copies + 1;
    bool first = true;
    while (symbols > 0) {
        const auto count = static_cast<uint32_t>(std::min<uint64_t>(symbols, 32767));
        PutMainTable(bits);
        PutLengthTable(bits);
        bits.Put(count, 15);
        for (uint32_t i = 0; i < count; ++i) {
            bits.Put(first ? 0b10 : 0b00, 2);
            first = false;
        }
        symbols -= count;
    }
    Entry e {name, bits.Finish(), 1 + 257 * copies, 0xFFFFFFFFu, 1, 0x20};
    const std::string zeros(1 << 20, '\0');
    for (uint64_t left = e.origSize; left > 0;) {
        const size_t n = static_cast<size_t>(std::min<uint64_t>(left, zeros.size()));
        e.crc = ace::Crc32(reinterpret_cast<const uint8_t*>(zeros.data()), n, e.crc);
        left -= n;
    }
    return e;
}

// 200 MB and a little less.
constexpr uint64_t kBombCopies = (uint64_t {200} << 20) / 257;

std::string Archive(const std::vector<Entry>& entries)
{
    std::string out = AceBlock(std::string(1, '\0') + Le16(0) + "**ACE**" + std::string("\x14\x14\x02\x00", 4) +
                               Le32(0x41046F21) + std::string(8, '\0') + std::string(1, '\0'));
    for (const auto& e : entries) {
        out += AceBlock(std::string(1, '\1') + Le16(1) + Le32(static_cast<uint32_t>(e.packed.size())) +
                        Le32(static_cast<uint32_t>(e.origSize)) + Le32(0x41046DDA) + Le32(e.attributes) + Le32(e.crc) +
                        static_cast<char>(e.method) + std::string(1, '\0') + Le16(e.method == 0 ? 0 : 10) + Le16(0) +
                        Le16(static_cast<uint16_t>(e.name.size())) + e.name) +
               e.packed;
    }
    return out;
}

std::vector<uint8_t> Bytes(const std::string& s) { return {s.begin(), s.end()}; }

bool StartsWith(const std::string& text, const std::string& start) { return text.rfind(start, 0) == 0; }

const std::string kUnsafe = "its name is unsafe";

class UnaceHostile : public ::testing::Test {
protected:
    void SetUp() override { fs::create_directories(game); }

    // Extracts, and checks that nothing changed beside dest (the system's temporary folder is
    // one of the test's) and that no temporary file stayed in it.
    ace::Status Extract(const std::string& archive, const std::string& dest)
    {
        const auto around = ziptest::Surroundings(tmp.path(), dest);
        leftOut.clear();
        const ace::Status status = ace::ExtractArchive(Bytes(archive), dest, {}, nullptr, &leftOut);
        EXPECT_EQ(ziptest::Surroundings(tmp.path(), dest), around) << "something changed outside " << dest;
        EXPECT_EQ(ziptest::PartFiles(dest), Lines {});
        return status;
    }
    Lines LeftOutNames() const
    {
        Lines out;
        for (const auto& l : leftOut)
            out.push_back(l.name);
        return out;
    }

    TempDir tmp;
    ziptest::ScopedTmpDir systemTmp {tmp / "system-tmp"};
    std::string game = tmp / "game";
    std::vector<ace::LeftOut> leftOut;
};

}  // namespace

TEST_F(UnaceHostile, AMemberInAnotherLetterCaseTakesTheSpellingOfWhatIsThere)
{
    TempDir::Write(game + "/Turn07.bte", "the old turn");
    fs::create_directories(game + "/Maps");
    const std::string archive =
        Archive({Folder("MAPS"), Stored("TURN07.BTE", "the new turn"), Stored("MAPS\\Hill.map", "a hill")});
    EXPECT_EQ(Extract(archive, game), ace::Status::Ok);
    EXPECT_EQ(TempDir::Listing(game), (Lines {"Maps", "Maps/Hill.map", "Turn07.bte"}));
    EXPECT_EQ(TempDir::Read(game + "/Turn07.bte"), "the new turn");
    EXPECT_TRUE(leftOut.empty());
}

TEST_F(UnaceHostile, AMemberOf200MBExtractsWhenThereIsRoomAndIsRefusedBeforeWritingWhenThereIsNot)
{
    const std::string archive = Archive({Zeros("Battle.bte", kBombCopies), Stored("Notes.txt", "the notes")});
    EXPECT_LT(archive.size(), 1u << 20);
    EXPECT_EQ(Extract(archive, game), ace::Status::Ok);
    EXPECT_EQ(fs::file_size(game + "/Battle.bte"), 1 + 257 * kBombCopies);
    fs::remove(game + "/Battle.bte");

    ziptest::SmallDisk disk(tmp / "small", "256k");
    if (!disk.Mounted())
        GTEST_SKIP() << "a small disk needs root and a tmpfs: the refusal for lack of space was not tried";
    TempDir::Write(tmp / "small/Battle.bte", "the good battle");
    EXPECT_EQ(Extract(archive, tmp / "small"), ace::Status::WriteError);
    EXPECT_EQ(LeftOutNames(), Lines {"Battle.bte"});
    ASSERT_EQ(leftOut.size(), 1u);
    EXPECT_TRUE(StartsWith(leftOut[0].reason, "it declares 200.0 MB; the disk has ")) << leftOut[0].reason;
    EXPECT_EQ(TempDir::Read(tmp / "small/Battle.bte"), "the good battle");
    EXPECT_EQ(TempDir::Read(tmp / "small/Notes.txt"), "the notes");
}

TEST_F(UnaceHostile, AMemberPastTheLimitOrPastWhatItDeclaresIsRefusedAndTheGoodFileKept)
{
    TempDir::Write(game + "/Huge.bte", "the good huge one");
    TempDir::Write(game + "/Grows.bte", "the good growing one");
    Entry huge = Zeros("Huge.bte", 1000);
    huge.origSize = uint64_t {2} << 30;
    EXPECT_EQ(Extract(Archive({huge, Stored("Fine.bte", "a fine turn")}), game), ace::Status::WriteError);
    EXPECT_EQ(LeftOutNames(), Lines {"Huge.bte"});
    EXPECT_EQ(leftOut[0].reason, "it declares 2.0 GB, more than the 1.0 GB a member may hold");
    EXPECT_EQ(TempDir::Read(game + "/Fine.bte"), "a fine turn");

    // Its last copy runs past the size it declares: the decoder stops there.
    Entry grows = Zeros("Grows.bte", 1000);
    grows.origSize -= 100;
    EXPECT_EQ(Extract(Archive({grows}), game), ace::Status::CorruptData);

    EXPECT_EQ(TempDir::Read(game + "/Huge.bte"), "the good huge one");
    EXPECT_EQ(TempDir::Read(game + "/Grows.bte"), "the good growing one");
}

TEST_F(UnaceHostile, ControlCharactersAndDeepNamesRefuseTheArchiveWithNothingCreated)
{
    std::string deep;
    for (int i = 0; i < 2100; ++i)
        deep += "d\\";
    const std::string archive = Archive({Stored("Plain.bte", "plain"), Stored("Turn\n07.bte", "a newline"),
                                         Stored("Turn\x1b[2J07.bte", "an escape"), Stored(deep + "Deep.bte", "deep")});
    EXPECT_EQ(Extract(archive, game), ace::Status::UnsafeName);
    ASSERT_EQ(leftOut.size(), 3u);
    EXPECT_EQ(leftOut[0].name, "Turn?07.bte");
    EXPECT_EQ(leftOut[1].name, "Turn?[2J07.bte");
    EXPECT_EQ(leftOut[2].name, deep + "Deep.bte");
    for (const auto& l : leftOut)
        EXPECT_TRUE(StartsWith(l.reason, kUnsafe)) << l.reason;
    EXPECT_TRUE(fs::is_empty(game));
}

TEST_F(UnaceHostile, AKilledExtractionLeavesNoTemporaryFileOnceTheArchiveIsExtractedAgain)
{
    TempDir::Write(game + "/Battle.bte", "the good battle");
    const std::string archive = Archive({Zeros("Battle.bte", kBombCopies)});
    const std::string part = game + "/Battle.bte.turnex-part";
    // The member takes about a second; should the child finish before it is seen at work, the
    // kill is tried again.
    bool killed = false;
    for (int attempt = 0; attempt < 5 && !killed; ++attempt) {
        const pid_t child = fork();
        if (child == 0) {
            ace::ExtractArchive(Bytes(archive), game);
            _exit(0);
        }
        ASSERT_GT(child, 0);
        int status = 0;
        while (!fs::exists(part) && waitpid(child, &status, WNOHANG) == 0)
            std::this_thread::sleep_for(std::chrono::microseconds(100));
        kill(child, SIGKILL);
        waitpid(child, &status, 0);
        killed = WIFSIGNALED(status);
        if (!killed)
            TempDir::Write(game + "/Battle.bte", "the good battle");
    }
    ASSERT_TRUE(killed) << "the extraction ended every time before it was seen at work";
    EXPECT_EQ(ziptest::PartFiles(game), Lines {"Battle.bte.turnex-part"});
    EXPECT_EQ(TempDir::Read(game + "/Battle.bte"), "the good battle");

    EXPECT_EQ(Extract(archive, game), ace::Status::Ok);
    EXPECT_EQ(TempDir::Listing(game), Lines {"Battle.bte"});
    EXPECT_EQ(fs::file_size(game + "/Battle.bte"), 1 + 257 * kBombCopies);
}

// A folder entry takes the name of a file member before that file is in place: the file then
// cannot take its place, and it is named.
TEST_F(UnaceHostile, AFileThatCannotTakeItsPlaceAtTheEndIsNamed)
{
    const std::string archive =
        Archive({Stored("Turn07.bte", "the new turn"), Folder("Turn07.bte"), Stored("Notes.txt", "the notes")});
    EXPECT_EQ(Extract(archive, game), ace::Status::WriteError);
    EXPECT_EQ(LeftOutNames(), Lines {"Turn07.bte"});
    ASSERT_EQ(leftOut.size(), 1u);
    EXPECT_EQ(leftOut[0].reason, "it could not take the place of the file of its name: Is a directory");
    EXPECT_EQ(TempDir::Listing(game), (Lines {"Notes.txt", "Turn07.bte"}));
}

// Through the program's front end and the real library: the box names each member left out and
// why, under the library's result.
TEST_F(UnaceHostile, TheErrorBoxNamesEachRefusedMemberWithItsReason)
{
    ScriptedDesktop desktop;
    Entry huge = Zeros("Huge.bte", 10);
    huge.origSize = uint64_t {2} << 30;
    TempDir::Write(tmp / "sizes.ace", Archive({huge, Stored("Fine.bte", "a fine turn")}));
    TempDir::Write(tmp / "names.ace", Archive({Stored("Fine.bte", "a fine turn"), Stored("Turn\x1b[2J07.bte", "x")}));

    archive::ExtractAceArchive(tmp / "sizes.ace", game);
    ASSERT_EQ(desktop.shown.size(), 1u);
    EXPECT_EQ(desktop.shown[0].caption, "ACE Extract Error");
    EXPECT_EQ(desktop.shown[0].text, "Extraction failed: a file could not be written to the game directory!\n"
                                     "Not extracted:\n"
                                     "    Huge.bte: it declares 2.0 GB, more than the 1.0 GB a member may hold");
    EXPECT_EQ(TempDir::Read(game + "/Fine.bte"), "a fine turn");

    desktop.shown.clear();
    fs::remove(game + "/Fine.bte");
    archive::ExtractAceArchive(tmp / "names.ace", game);
    ASSERT_EQ(desktop.shown.size(), 1u);
    EXPECT_TRUE(StartsWith(desktop.shown[0].text,
                           "Extraction failed: the ACE-archive names a file outside the game directory!\n"
                           "Not extracted:\n"
                           "    Turn?[2J07.bte: " +
                               kUnsafe))
        << desktop.shown[0].text;
    EXPECT_TRUE(fs::is_empty(game));

    // A box taller than the screen would hide its button: past twenty, the rest are counted.
    std::vector<Entry> many;
    for (int i = 0; i < 25; ++i)
        many.push_back(Stored("..\\escape" + std::to_string(i) + ".bte", "x"));
    TempDir::Write(tmp / "many.ace", Archive(many));
    desktop.shown.clear();
    archive::ExtractAceArchive(tmp / "many.ace", game);
    ASSERT_EQ(desktop.shown.size(), 1u);
    const std::string text = desktop.shown[0].text;
    EXPECT_NE(text.find("\n    ..\\escape19.bte: " + kUnsafe), std::string::npos) << text;
    EXPECT_EQ(text.find("escape20"), std::string::npos) << text;
    const std::string end = "\n    ... and 5 more.";
    EXPECT_TRUE(text.size() > end.size() && text.compare(text.size() - end.size(), end.size(), end) == 0) << text;
}
