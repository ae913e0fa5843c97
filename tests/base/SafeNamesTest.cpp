#include "base/SafeNames.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace fs = std::filesystem;
using base::PrepareTarget;
using base::SafeRelativePath;

TEST(SafeNames, UnsafeMemberNamesAreRejected)
{
    for (const char* bad : {"../x.bte", "..\\x.bte", "/abs/x.bte", "C:\\x.bte", "c:x.bte", "sub/../../x.bte",
                            "..", "", "/", "./", "a/..\\b"})
        EXPECT_FALSE(SafeRelativePath(bad).has_value()) << bad;
    EXPECT_EQ(SafeRelativePath("sub\\dir//x.bte").value(), "sub/dir/x.bte");
    EXPECT_EQ(SafeRelativePath("./x.bte").value(), "x.bte");
    EXPECT_EQ(SafeRelativePath("x..bte").value(), "x..bte");
}

TEST(SafeNames, TargetsStayInsideTheDestination)
{
    TempDir tmp;
    fs::create_directories(tmp / "dest/inner");
    fs::create_directories(tmp / "outside");
    fs::create_directory_symlink(tmp / "outside", tmp / "dest/out");
    fs::create_directory_symlink(tmp / "dest/inner", tmp / "dest/in");
    EXPECT_FALSE(PrepareTarget(tmp / "dest", "out/x.bte").has_value());
    EXPECT_TRUE(fs::is_empty(tmp / "outside"));
    EXPECT_TRUE(PrepareTarget(tmp / "dest", "in/x.bte").has_value());
    auto made = PrepareTarget(tmp / "dest", "new/deeper/x.bte");
    ASSERT_TRUE(made.has_value());
    EXPECT_TRUE(fs::is_directory(tmp / "dest/new/deeper"));
    EXPECT_EQ(fs::path(*made).filename(), "x.bte");
    EXPECT_FALSE(PrepareTarget(tmp / "dest", "inner").has_value());  // a folder is not a file
}
