#include "base/SafeNames.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace fs = std::filesystem;
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
