#include "base/Paths.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace fs = std::filesystem;
using base::NativePath;

class PathsTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        fs::create_directories(tmp / "prefix/dosdevices");
        fs::create_directories(tmp / "prefix/drive_c/Games/Grey Coast");
        fs::create_directories(tmp / "mail/Out");
        fs::create_symlink(tmp / "mail", tmp / "prefix/dosdevices/d:");
    }
    TempDir tmp;
    ScopedWinePrefix prefix {tmp / "prefix"};
};

TEST_F(PathsTest, DriveLettersMapThroughThePrefix)
{
    // d: has a dosdevices link; c: falls back to drive_c; any other letter maps to the root.
    EXPECT_EQ(NativePath("D:\\Out"), tmp / "prefix/dosdevices/d:/Out");
    EXPECT_EQ(NativePath("c:\\games\\GREY COAST"), tmp / "prefix/drive_c/Games/Grey Coast");
    EXPECT_EQ(NativePath("c:\\"), tmp / "prefix/drive_c");
    EXPECT_EQ(NativePath("q:\\tmp"), "/tmp");
}

TEST_F(PathsTest, SeparatorsCollapseAndCaseIsResolved)
{
    EXPECT_EQ(NativePath("d:\\\\out\\\\\\x.zip"), tmp / "prefix/dosdevices/d:/Out/x.zip");
    EXPECT_EQ(NativePath(tmp.path() + "//MAIL\\out/"), tmp / "mail/Out/");
    // A component that does not exist keeps its spelling, and so does everything below it.
    EXPECT_EQ(NativePath(tmp.path() + "\\mail\\New\\Sub"), tmp / "mail/New/Sub");
}

TEST_F(PathsTest, BothStylesAreUtf8AndMatchWithoutLetterCase)
{
    fs::create_directories(tmp / "prefix/drive_c/Caf\xC3\xA9");
    EXPECT_EQ(NativePath("C:\\CAF\xC3\x89"), tmp / "prefix/drive_c/Caf\xC3\xA9");  // "CAFÉ"
    EXPECT_EQ(NativePath(tmp.path() + "/Caf\xC3\xA9x"), tmp / "Caf\xC3\xA9x");
}

TEST_F(PathsTest, MissingPrefixStillGivesAPath)
{
    ScopedWinePrefix none(tmp / "does-not-exist");
    EXPECT_EQ(NativePath("c:\\x"), tmp / "does-not-exist/drive_c/x");
}
