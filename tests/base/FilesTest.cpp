#include "base/Errors.h"
#include "base/Files.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>

namespace fs = std::filesystem;
using namespace base;

TEST(Wildcards, MatchWithoutRegardToCase)
{
    EXPECT_TRUE(WildcardMatch("*.bte", "TURN07.BTE"));
    EXPECT_TRUE(WildcardMatch("*.zip", "a.ZIP"));
    EXPECT_TRUE(WildcardMatch("a?c*", "abcdef"));
    EXPECT_FALSE(WildcardMatch("*.bte", "turn.bte.bak"));
    EXPECT_FALSE(WildcardMatch("*.zip", "zip"));
}

TEST(FindFiles, ReportsAttributesSizesAndTimes)
{
    TempDir tmp;
    TempDir::Write(tmp / "TURN07.BTE", "12345");
    TempDir::Write(tmp / ".hidden.bte", "");
    TempDir::Write(tmp / "other.txt", "");
    fs::create_directory(tmp / "old.bte");
    const auto found = FindFiles(tmp.path() + "\\\\*.bte");
    ASSERT_EQ(found.size(), 3u);
    EXPECT_EQ(found[0].Name, ".hidden.bte");
    EXPECT_EQ(found[0].Attr & faHidden, faHidden);
    EXPECT_EQ(found[1].Name, "TURN07.BTE");
    EXPECT_EQ(found[1].Size, 5);
    EXPECT_EQ(found[1].Attr, faArchive);
    EXPECT_EQ(found[1].Time, PackDosDateTime(found[1].MTime));
    EXPECT_EQ(found[2].Attr, faDirectory);
    EXPECT_TRUE(FindFiles(tmp.path() + "\\missing\\*.bte").empty());
}

TEST(FindFiles, NamesComeBackAsOnDiskInBothPathStyles)
{
    TempDir tmp;
    fs::create_directories(tmp / "prefix/drive_c/g");
    TempDir::Write(tmp / "prefix/drive_c/g/Caf\xC3\xA9.bte", "");
    TempDir::Write(tmp / "prefix/drive_c/g/Old\xE9.bte", "");  // written by a tool of another code page
    ScopedWinePrefix prefix(tmp / "prefix");
    for (const std::string folder : {std::string("c:\\G"), tmp.path() + "/prefix/drive_c/g"}) {
        const auto found = FindFiles(folder + "\\*.BTE");
        ASSERT_EQ(found.size(), 2u) << folder;
        EXPECT_EQ(found[0].Name, "Caf\xC3\xA9.bte");
        EXPECT_EQ(found[1].Name, "Old\xE9.bte");
        for (const auto& entry : found)
            EXPECT_TRUE(FileExists(folder + "\\" + entry.Name)) << folder << entry.Name;
    }
}

TEST(DosDateTime, PacksLocalTimeInTwoSecondSteps)
{
    std::tm tm {};
    tm.tm_year = 2024 - 1900;
    tm.tm_mon = 2;
    tm.tm_mday = 5;
    tm.tm_hour = 13;
    tm.tm_min = 7;
    tm.tm_sec = 59;
    tm.tm_isdst = -1;
    const int32_t packed = PackDosDateTime(mktime(&tm));
    EXPECT_EQ(packed, static_cast<int32_t>(((44u << 25) | (3u << 21) | (5u << 16)) | (13u << 11) | (7u << 5) | 29u));
}

TEST(DosDateTime, UnpacksWhatWasPackedAndRefusesImpossibleFields)
{
    const std::time_t t = 1700000000;  // an even second
    const auto back = UnpackDosDateTime(static_cast<uint32_t>(PackDosDateTime(t)));
    ASSERT_TRUE(back.has_value());
    EXPECT_EQ(*back, t);
    const uint32_t march5 = (44u << 25) | (3u << 21) | (5u << 16);
    EXPECT_TRUE(UnpackDosDateTime(march5).has_value());
    EXPECT_FALSE(UnpackDosDateTime((44u << 25) | (13u << 21) | (5u << 16)).has_value());  // month 13
    EXPECT_FALSE(UnpackDosDateTime((44u << 25) | (3u << 21)).has_value());                // day 0
    EXPECT_FALSE(UnpackDosDateTime(march5 | (24u << 11)).has_value());                    // hour 24
    EXPECT_FALSE(UnpackDosDateTime(march5 | 30u).has_value());                            // second 60
}

TEST(FileStream, ErrorsCarryTheProgramsTexts)
{
    TempDir tmp;
    EXPECT_THROW(
        {
            try {
                FileStream f(tmp / "none.dat", FileStream::OpenRead);
            } catch (const Exception& e) {
                EXPECT_EQ(std::string(e.what()), "Cannot open file " + (tmp / "none.dat"));
                throw;
            }
        },
        Exception);
    try {
        FileStream f(tmp / "no/such/dir/x.dat", FileStream::Create);
        FAIL();
    } catch (const Exception& e) {
        EXPECT_EQ(std::string(e.what()), "Cannot create file " + (tmp / "no/such/dir/x.dat"));
    }
    TempDir::Write(tmp / "short.dat", "abc");
    FileStream f(tmp / "short.dat", FileStream::OpenRead);
    char buf[8];
    try {
        f.ReadBuffer(buf, 8);
        FAIL();
    } catch (const Exception& e) {
        EXPECT_STREQ(e.what(), "Stream read error");
    }
}

TEST(TextFileReader, ReportsFileErrorsWithTheirCodes)
{
    TempDir tmp;
    fs::create_directory(tmp / "x.bte");
    try {
        TextFileReader r(tmp / "gone.bte");
        FAIL();
    } catch (const EInOutError& e) {
        EXPECT_STREQ(e.what(), "File not found");
    }
    try {
        TextFileReader r(tmp / "x.bte");
        r.Get();  // a folder opens, but cannot be read as text
        FAIL();
    } catch (const EInOutError& e) {
        EXPECT_STREQ(e.what(), "File access denied");
    }
    try {
        TempDir::Write(tmp / "plain", "");
        TextFileReader r(tmp / "plain/child.bte");
        FAIL();
    } catch (const EInOutError& e) {
        EXPECT_STREQ(e.what(), "I/O error 3");
    }
}

TEST(FileOperations, CopyOverwritesMoveNeverDoes)
{
    TempDir tmp;
    TempDir::Write(tmp / "a.bte", "new");
    TempDir::Write(tmp / "dest/a.bte", "old");
    TempDir::Write(tmp / "b.bte", "b");
    EXPECT_TRUE(CopyFileOverwrite(tmp / "a.bte", tmp / "dest\\A.BTE"));
    EXPECT_EQ(TempDir::Read(tmp / "dest/a.bte"), "new");
    EXPECT_FALSE(CopyFileOverwrite(tmp / "a.bte", tmp / "a.bte"));
    EXPECT_EQ(TempDir::Read(tmp / "a.bte"), "new");

    TempDir::Write(tmp / "dest/b.bte", "kept");
    EXPECT_FALSE(MoveFileNoReplace(tmp / "b.bte", tmp / "dest/b.bte"));
    EXPECT_EQ(TempDir::Read(tmp / "dest/b.bte"), "kept");
    EXPECT_TRUE(fs::exists(tmp / "b.bte"));
    EXPECT_TRUE(MoveFileNoReplace(tmp / "b.bte", tmp / "dest/c.bte"));
    EXPECT_FALSE(fs::exists(tmp / "b.bte"));
    EXPECT_TRUE(DeleteFile(tmp / "dest/c.bte"));
    EXPECT_FALSE(DeleteFile(tmp / "dest/c.bte"));
}

TEST(ReplacementFile, LeavesTheOldFileUntilCommitted)
{
    TempDir tmp;
    TempDir::Write(tmp / "f.dat", "old");
    {
        ReplacementFile f(tmp / "f.dat");
        f.Write("new contents");
        EXPECT_EQ(TempDir::Read(tmp / "f.dat"), "old");
    }  // dropped without commit
    EXPECT_EQ(TempDir::Read(tmp / "f.dat"), "old");
    EXPECT_EQ(std::distance(fs::directory_iterator(tmp.path()), fs::directory_iterator()), 1);
    ReplaceFileContents(tmp / "f.dat", "new");
    EXPECT_EQ(TempDir::Read(tmp / "f.dat"), "new");
    EXPECT_THROW(ReplaceFileContents(tmp / "missing/f.dat", "x"), Exception);
}

TEST(FileAge, OnlyAFileThatOpensForReadingHasAnAge)
{
    TempDir tmp;
    TempDir::Write(tmp / "Turn07.bte", "battle");
    EXPECT_GT(FileAge(tmp / "Turn07.bte"), 0);
    fs::create_directory(tmp / "folder.bte");
    ASSERT_EQ(mkfifo((tmp / "pipe.bte").c_str(), 0600), 0);
    // A folder and a named pipe exist but are no files (and the pipe must not hang the caller).
    for (const char* name : {"missing.bte", "folder.bte", "pipe.bte"})
        EXPECT_EQ(FileAge(tmp / name), -1) << name;
    if (geteuid() != 0) {
        fs::permissions(tmp / "Turn07.bte", fs::perms::none);
        EXPECT_EQ(FileAge(tmp / "Turn07.bte"), -1);
    }
}
