// Which of the decoders' libraries libunrar.so opens, and that the files read right whichever
// decoder reads them. A library once opened stays open for the process, so each case runs in a
// process of its own (a death test started afresh) and looks at what that process has mapped.
#include "support/TempDir.h"

#include "RarBytes.h"
#include "SharedCorpus.h"
#include "turnex/unrar.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <map>

namespace fs = std::filesystem;

namespace {

const std::string kData = TURNEX_RAR_TESTDATA;

bool Mapped(const std::string& library)
{
    return TempDir::Read("/proc/self/maps").find("/" + library) != std::string::npos;
}

// Each member's result, extracted into dest (made first).
std::map<std::string, int> ExtractAll(const std::string& path, const std::string& dest, int operation = RAR_EXTRACT)
{
    fs::create_directories(dest);
    std::map<std::string, int> results;
    RAROpenArchiveData open {};
    open.ArcName = const_cast<char*>(path.c_str());
    open.OpenMode = RAR_OM_EXTRACT;
    void* handle = RAROpenArchive(&open);
    if (!handle) {
        results["(open)"] = static_cast<int>(open.OpenResult);
        return results;
    }
    RARHeaderData h {};
    int r;
    while ((r = RARReadHeader(handle, &h)) == ERAR_SUCCESS)
        results[h.FileName] = RARProcessFile(handle, operation, const_cast<char*>(dest.c_str()), nullptr);
    results["(read)"] = r;
    RARCloseArchive(handle);
    return results;
}

// The child's failures do not reach the parent's report: each check that fails in it is written
// to stderr, which the parent shows when the child's exit status is not 0.
class ChildChecks {
public:
    void Expect(bool condition, const std::string& what)
    {
        if (!condition)
            failures_ += what + "\n";
    }
    [[noreturn]] void Exit() const
    {
        std::fputs(failures_.c_str(), stderr);
        std::exit(failures_.empty() ? 0 : 1);
    }

private:
    std::string failures_;
};

void InFreshProcess(const std::function<void(ChildChecks&)>& body)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            ChildChecks checks;
            body(checks);
            checks.Exit();
        },
        ::testing::ExitedWithCode(0), "");
}

// A RAR 1.5-4 archive of copies of the one packed RAR 3.x file of r3_recovery_record.rar, each
// under a name of its own and needing no earlier file: the archive of many small battle files.
std::string CopiesOfAPackedFile(int copies)
{
    const std::string original = TempDir::Read(kData + "/r3_recovery_record.rar");
    std::string fileBlock;
    std::string packed;
    const auto byte = [&](size_t at) { return static_cast<uint32_t>(static_cast<unsigned char>(original[at])); };
    for (size_t pos = 7; pos + 11 <= original.size();) {
        const uint32_t size = byte(pos + 5) | byte(pos + 6) << 8;
        const bool file = byte(pos + 2) == 0x74;
        const bool withData = file || (byte(pos + 4) & 0x80);
        const uint32_t dataSize =
            withData ? byte(pos + 7) | byte(pos + 8) << 8 | byte(pos + 9) << 16 | byte(pos + 10) << 24 : 0;
        if (file) {
            fileBlock = original.substr(pos + 2, 30);  // type .. attributes, without the CRC and the name
            packed = original.substr(pos + size, dataSize);
            break;
        }
        if (size < 7)
            break;
        pos += size + dataSize;
    }
    EXPECT_FALSE(fileBlock.empty()) << "r3_recovery_record.rar holds no file";
    std::string out("Rar!\x1A\x07\x00", 7);
    std::string main("\x73", 1);
    rarbytes::Put16(main, 0);
    rarbytes::Put16(main, 13);
    main.append(6, '\0');
    out += rarbytes::Block4(main);
    for (int i = 0; i < copies; ++i) {
        const std::string name = "battle" + std::to_string(i) + ".txt";
        std::string h = fileBlock;
        h[3] = static_cast<char>(32 + name.size());
        h[4] = '\0';
        h[24] = static_cast<char>(name.size());
        h[25] = '\0';
        out += rarbytes::Block4(h + name) + packed;
    }
    std::string end("\x7B", 1);
    rarbytes::Put16(end, 0x4000);
    rarbytes::Put16(end, 7);
    return out + rarbytes::Block4(end);
}

}  // namespace

TEST(UnRarDecoderChoice, AnArchiveOpensOnlyTheLibrariesItsFilesNeed)
{
    REQUIRE_SHARED_DATA(fs::exists(kData + "/MANIFEST.tsv"), kData);
    InFreshProcess([](ChildChecks& check) {
        TempDir tmp;
        // Stored data needs no decoder. (libb2 is not looked at: the toolkit this test program is
        // linked with binds it at start.)
        check.Expect(ExtractAll(kData + "/r5_stored.rar", tmp / "stored")["(read)"] == ERAR_END_ARCHIVE,
                     "r5_stored.rar was not extracted");
        check.Expect(!Mapped("libarchive.so") && !Mapped("libunarr.so"), "stored RAR5 data opened a decoder's library");
        // RAR5 with BLAKE2sp hashes, one file packed, one stored.
        auto results = ExtractAll(kData + "/r5_comment_blake2.rar", tmp / "blake");
        check.Expect(results["stest1.txt"] == ERAR_SUCCESS && results["stest2.txt"] == ERAR_SUCCESS,
                     "r5_comment_blake2.rar was not extracted");
        check.Expect(Mapped("libarchive.so") && !Mapped("libunarr.so"), "RAR5 did not go through libarchive alone");
        // With libarchive open, it reads a small RAR 3.x file too.
        check.Expect(ExtractAll(kData + "/r3_recovery_record.rar", tmp / "small")["testfile.txt"] == ERAR_SUCCESS,
                     "testfile.txt of r3_recovery_record.rar was not extracted");
        check.Expect(!Mapped("libunarr.so"), "libunarr was opened though libarchive was open");
    });
}

TEST(UnRarDecoderChoice, ManySmallRar3FilesReadAlikeThroughBothDecoders)
{
    REQUIRE_SHARED_DATA(fs::exists(kData + "/MANIFEST.tsv"), kData);
    TempDir tmp;
    ASSERT_EQ(ExtractAll(kData + "/r3_recovery_record.rar", tmp / "original")["testfile.txt"], ERAR_SUCCESS);
    const std::string expected = TempDir::Read(tmp / "original/testfile.txt");
    ASSERT_EQ(expected.size(), 12u);
    constexpr int kCopies = 7;
    const std::string archive = CopiesOfAPackedFile(kCopies);
    TempDir::Write(tmp / "many.rar", archive);
    // The stored CRC still decides on either side of the change of decoder: the second and the
    // last copy carry a wrong one.
    std::string damaged = archive;
    for (const int copy : {1, kCopies - 1}) {
        const size_t header = damaged.find("battle" + std::to_string(copy) + ".txt") - 32;
        damaged[header + 16] ^= 0x01;  // the low byte of the file CRC
        const uint32_t crc = rarbytes::Crc(damaged.substr(header + 2, 30 + 11)) & 0xFFFF;
        damaged[header] = static_cast<char>(crc & 0xFF);
        damaged[header + 1] = static_cast<char>(crc >> 8);
    }
    TempDir::Write(tmp / "damaged.rar", damaged);

    InFreshProcess([&](ChildChecks& check) {
        auto results = ExtractAll(tmp / "many.rar", tmp / "many");
        check.Expect(results["(read)"] == ERAR_END_ARCHIVE, "the walk did not reach the end");
        for (int i = 0; i < kCopies; ++i) {
            const std::string name = "battle" + std::to_string(i) + ".txt";
            check.Expect(results[name] == ERAR_SUCCESS, name + " was not extracted");
            check.Expect(TempDir::Read(tmp / ("many/" + name)) == expected, name + " holds other data");
        }
        // The first few went through libunarr (libarchive was not open), the rest through libarchive.
        check.Expect(Mapped("libunarr.so") && Mapped("libarchive.so"), "the files did not go through both decoders");

        results = ExtractAll(tmp / "damaged.rar", tmp / "tested", RAR_TEST);
        for (int i = 0; i < kCopies; ++i) {
            const int wanted = i == 1 || i == kCopies - 1 ? ERAR_BAD_DATA : ERAR_SUCCESS;
            check.Expect(results["battle" + std::to_string(i) + ".txt"] == wanted,
                         "copy " + std::to_string(i) + " of the damaged archive gave " +
                             std::to_string(results["battle" + std::to_string(i) + ".txt"]));
        }
    });
}

// A broken installation: the library file of libunarr is there but no library. libarchive reads the
// RAR 3.x files it can, and a file only libunarr reads is refused with the library named.
TEST(UnRarDecoderChoice, ABrokenDecoderLibraryIsNamedAndTheOtherDecoderStandsIn)
{
    REQUIRE_SHARED_DATA(fs::exists(kData + "/MANIFEST.tsv"), kData);
    TempDir tmp;
    TempDir::Write(tmp / ("broken/" TURNEX_LIBUNARR_SONAME), "not a library");
    const char* searched = std::getenv("LD_LIBRARY_PATH");
    const std::string restore = searched ? searched : "";
    // Read by the loader when the fresh process starts.
    setenv("LD_LIBRARY_PATH", (tmp / "broken").c_str(), 1);
    InFreshProcess([&](ChildChecks& check) {
        check.Expect(ExtractAll(kData + "/r3_recovery_record.rar", tmp / "small")["testfile.txt"] == ERAR_SUCCESS,
                     "libarchive did not read the small RAR 3.x file");
        check.Expect(TempDir::Read(tmp / "small/testfile.txt").size() == 12, "testfile.txt has another size");

        // A solid archive is read by libunarr alone.
        RAROpenArchiveData open {};
        const std::string solid = kData + "/r3_solid.rar";
        open.ArcName = const_cast<char*>(solid.c_str());
        open.OpenMode = RAR_OM_EXTRACT;
        void* handle = RAROpenArchive(&open);
        check.Expect(handle != nullptr, "r3_solid.rar did not open");
        if (!handle)
            return;
        RARHeaderData header {};
        check.Expect(RARReadHeader(handle, &header) == ERAR_SUCCESS, "no first header");
        const std::string dest = tmp / "solid";
        fs::create_directories(dest);
        const int result = RARProcessFile(handle, RAR_EXTRACT, const_cast<char*>(dest.c_str()), nullptr);
        check.Expect(result == ERAR_EOPEN, "the first file of r3_solid.rar gave " + std::to_string(result));
        char name[256] {}, reason[512] {};
        check.Expect(RARGetLastRefusal(handle, name, sizeof name, reason, sizeof reason) == 1, "no refusal told");
        check.Expect(std::string(name) == header.FileName, std::string("the refusal names ") + name);
        check.Expect(std::string(reason) == "the library " TURNEX_LIBUNARR_SONAME " that unpacks it cannot be loaded",
                     std::string("the refusal says ") + reason);
        RARCloseArchive(handle);
        check.Expect(fs::is_empty(dest), "something of r3_solid.rar was written");
    });
    if (searched)
        setenv("LD_LIBRARY_PATH", restore.c_str(), 1);
    else
        unsetenv("LD_LIBRARY_PATH");
}

// The header walk reads the archive through a window of it: a header that begins just before the
// window's end, or one that the window ends inside, is read whole, in both layouts, and so is
// stored data larger than the window.
TEST(UnRarHeaderWalk, HeadersAtTheEdgeOfTheReadWindowAreReadWhole)
{
    constexpr size_t kWindow = 64 * 1024;
    TempDir tmp;
    const std::string large(3 * kWindow + 5, 'L');
    int made = 0;
    for (size_t firstSize = kWindow - 120; firstSize <= kWindow; firstSize += 7) {
        const std::string first(firstSize, 'a');
        for (const bool rar5 : {false, true}) {
            const std::vector<rarbytes::Entry> entries = {rarbytes::File("first.bte", first),
                                                          rarbytes::File("second.bte", "the second battle"),
                                                          rarbytes::File("large.bte", large)};
            const std::string name = std::to_string(made++);
            TempDir::Write(tmp / (name + ".rar"), rar5 ? rarbytes::Rar5(entries) : rarbytes::Rar4(entries));
            auto results = ExtractAll(tmp / (name + ".rar"), tmp / name);
            SCOPED_TRACE((rar5 ? "RAR5, first file of " : "RAR 1.5-4, first file of ") + std::to_string(firstSize));
            EXPECT_EQ(results["(read)"], ERAR_END_ARCHIVE);
            EXPECT_EQ(results["second.bte"], ERAR_SUCCESS);
            EXPECT_EQ(TempDir::Read(tmp / (name + "/first.bte")), first);
            EXPECT_EQ(TempDir::Read(tmp / (name + "/second.bte")), "the second battle");
            EXPECT_EQ(TempDir::Read(tmp / (name + "/large.bte")), large);
        }
    }
}
