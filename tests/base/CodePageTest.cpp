#include "base/CodePage.h"
#include "base/Desktop.h"

#include <gtest/gtest.h>

using namespace base;

TEST(CodePage, Windows1252RoundTrip)
{
    std::string all;
    for (int c = 1; c < 256; ++c)
        all += static_cast<char>(c);
    EXPECT_EQ(Utf8ToAnsi(AnsiToUtf8(all)), all);
    EXPECT_EQ(AnsiToUtf8("\x80"), "\xE2\x82\xAC");
    EXPECT_EQ(Utf8ToAnsi("\xC3"), "?");
}

TEST(CodePage, Oem437PerByte)
{
    // 0x82 is "é" in OEM 437 and 0xE9 in Windows-1252; box drawing has no counterpart.
    EXPECT_EQ(OemToAnsi("caf\x82"), "caf\xE9");
    EXPECT_EQ(AnsiToOem("caf\xE9"), "caf\x82");
    EXPECT_EQ(OemToAnsi("\xC4"), "?");
}

TEST(ErrorReport, FullStopOnlyAfterCharactersAboveIt)
{
    EXPECT_EQ(ErrorBoxText("File not found"), "File not found.");
    EXPECT_EQ(ErrorBoxText("Done."), "Done.");
    EXPECT_EQ(ErrorBoxText("Really!"), "Really!");
    EXPECT_EQ(ErrorBoxText("x 3"), "x 3.");
    EXPECT_EQ(ErrorBoxText(""), "");
}
