#include "base/SafeNames.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace fs = std::filesystem;
using base::PrepareTarget;
using base::SafeRelativePath;

TEST(SafeNames, UnsafeMemberNamesAreRejected)
{
    for (const char* bad : {"../x.bte", "..\\x.bte", "/abs/x.bte", "C:\\x.bte", "c:x.bte", "sub/../../x.bte", "..", "",
                            "/", "./", "a/..\\b"})
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

TEST(SafeNames, MemberFoldersAreMadeInsideTheDestinationOnly)
{
    TempDir tmp;
    fs::create_directories(tmp / "dest");
    fs::create_directories(tmp / "outside");
    fs::create_directory_symlink(tmp / "outside", tmp / "dest/out");
    TempDir::Write(tmp / "dest/file", "");

    auto made = base::PrepareFolder(tmp / "dest", "maps/x");
    ASSERT_TRUE(made.has_value());
    EXPECT_TRUE(fs::is_directory(*made));
    EXPECT_TRUE(fs::equivalent(*made, tmp / "dest/maps/x"));
    // Again, now that it exists, and with a name inside it that happens to be a folder too.
    fs::create_directories(tmp / "dest/maps/x/x");
    EXPECT_TRUE(base::PrepareFolder(tmp / "dest", "maps/x").has_value());

    EXPECT_FALSE(base::PrepareFolder(tmp / "dest", "out/new").has_value());
    EXPECT_TRUE(fs::is_empty(tmp / "outside"));
    EXPECT_FALSE(base::PrepareFolder(tmp / "dest", "file").has_value());
    EXPECT_FALSE(base::PrepareFolder(tmp / "dest", "file/sub").has_value());
}

TEST(SafeNames, LinksMayPointOnlyInsideTheDestination)
{
    using base::LinkStaysInside;
    EXPECT_TRUE(LinkStaysInside("a/link", "target"));
    EXPECT_TRUE(LinkStaysInside("a/link", "../b/target"));
    EXPECT_TRUE(LinkStaysInside("a/b/link", ".././../x"));
    EXPECT_FALSE(LinkStaysInside("link", "../x"));
    EXPECT_FALSE(LinkStaysInside("a/link", "../../x"));
    EXPECT_FALSE(LinkStaysInside("a/link", "b/../../../x"));
    EXPECT_FALSE(LinkStaysInside("link", "/etc/passwd"));
    EXPECT_FALSE(LinkStaysInside("link", "c:/x"));
    EXPECT_FALSE(LinkStaysInside("link", ""));
    EXPECT_FALSE(LinkStaysInside("link", std::string("x\0y", 3)));
}
