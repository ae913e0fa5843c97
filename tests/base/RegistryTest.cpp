#include "base/Errors.h"
#include "base/Registry.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

using base::RegistryHive;

namespace {
const char* kUserReg = R"(WINE REGISTRY Version 2
;; All keys relative to \\User\\S-1-5-21-0-0-0-1000

#arch=win64

[Software\\Vantaris\\Grey Coast] 1700000000
#time=1da0a0a0a0a0a0a
"Location"="C:\\Games\\Grey \"Coast\"\\"
"Build"=dword:00000007

[Software\\Wine\\Drives] 1700000000
"c:"="hdd"

[SOFTWARE\\Vantaris\\Jade Tide\\Extra] 1700000000
"x"=str(2):"%ProgramFiles%\\Jade"
"caf"="Caf\xe9 \x20ac"
"bin"=hex(2):43,00,3a,00,5c,00,00,00
"multi"=hex:01,02,\
  03,04
)";
}

TEST(Registry, KeysAndValuesMatchWithoutRegardToCase)
{
    const auto hive = RegistryHive::Parse(kUserReg);
    EXPECT_TRUE(hive.KeyExists("SOFTWARE\\Vantaris"));
    EXPECT_TRUE(hive.HasSubKey("software\\vantaris", "GREY COAST"));
    EXPECT_TRUE(hive.HasSubKey("SOFTWARE\\Vantaris", "Jade Tide"));  // only its subkey is listed
    EXPECT_FALSE(hive.HasSubKey("SOFTWARE\\Vantaris", "Iron Plain II"));
    EXPECT_FALSE(hive.KeyExists("SOFTWARE\\Vanta"));
    EXPECT_EQ(hive.ReadString("SOFTWARE\\Vantaris\\Grey Coast", "location"), "C:\\Games\\Grey \"Coast\"\\");
    EXPECT_EQ(hive.ReadString("SOFTWARE\\Vantaris\\Grey Coast", "missing"), "");
}

TEST(Registry, StringKindsAndEscapes)
{
    const auto hive = RegistryHive::Parse(kUserReg);
    const char* key = "Software\\Vantaris\\Jade Tide\\Extra";
    EXPECT_EQ(hive.ReadString(key, "x"), "%ProgramFiles%\\Jade");
    EXPECT_EQ(hive.ReadString(key, "caf"), "Caf\xC3\xA9 \xE2\x82\xAC");  // "Café €"
    EXPECT_EQ(hive.ReadString(key, "bin"), "C:\\");
    try {
        hive.ReadString(key, "multi");
        FAIL();
    } catch (const base::Exception& e) {
        EXPECT_STREQ(e.what(), "Invalid data type for 'multi'");
    }
    EXPECT_THROW(hive.ReadString("Software\\Vantaris\\Grey Coast", "Build"), base::Exception);
}

TEST(Registry, MalformedAndTruncatedInputIsSkipped)
{
    std::string text = kUserReg;
    // Every prefix of the file parses; broken lines are skipped, the rest still reads.
    for (size_t n = 0; n <= text.size(); ++n)
        RegistryHive::Parse(std::string_view(text).substr(0, n));
    const auto hive = RegistryHive::Parse(
        "[Software\\\\A] 1\n\"unterminated=\"x\nnot a line\n\"ok\"=\"yes\"\n[broken\n\"lost\"=\"no\"\n");
    EXPECT_EQ(hive.ReadString("Software\\A", "ok"), "yes");
    EXPECT_EQ(hive.FindValue("Software\\A", "lost"), nullptr);
}

TEST(Registry, CurrentUserReadsTheWinePrefix)
{
    TempDir tmp;
    ScopedWinePrefix prefix(tmp.path());
    EXPECT_FALSE(RegistryHive::CurrentUser().KeyExists("Software"));
    TempDir::Write(tmp / "user.reg", kUserReg);
    EXPECT_TRUE(RegistryHive::CurrentUser().KeyExists("Software\\Wine\\Drives"));
}
