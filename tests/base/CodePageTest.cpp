#include "base/CodePage.h"
#include "base/Desktop.h"

#include <QString>
#include <gtest/gtest.h>

using namespace base;

TEST(CodePage, Windows1252RoundTrip)
{
    std::string all;
    for (int c = 1; c < 256; ++c)
        all += static_cast<char>(c);
    EXPECT_EQ(Utf8ToAnsi(AnsiToUtf8(all)), all);
    EXPECT_EQ(QStringToAnsi(AnsiToQString(all)), all);
    EXPECT_EQ(AnsiToUtf8("\x80"), "\xE2\x82\xAC");
    // Characters the page cannot hold become "?".
    EXPECT_EQ(QStringToAnsi(QString::fromUtf8("a\xE2\x98\x83" "b\xF0\x9F\x98\x80")), "a?b?");
    EXPECT_EQ(Utf8ToAnsi("\xC3"), "?");
}

TEST(CodePage, Oem437PerByte)
{
    // 0x82 is "é" in OEM 437 and 0xE9 in Windows-1252; box drawing has no counterpart.
    EXPECT_EQ(OemToAnsi("caf\x82"), "caf\xE9");
    EXPECT_EQ(AnsiToOem("caf\xE9"), "caf\x82");
    EXPECT_EQ(OemToAnsi("\xC4"), "?");
}

TEST(CodePage, DisplayStringKeepsNativeUtf8Paths)
{
    EXPECT_EQ(DisplayString("/home/ann/Caf\xC3\xA9"), QString::fromUtf8("/home/ann/Caf\xC3\xA9"));
    EXPECT_EQ(DisplayString("c:\\Caf\xE9"), QString::fromUtf8("c:\\Caf\xC3\xA9"));
}

TEST(ErrorReport, FullStopOnlyAfterCharactersAboveIt)
{
    EXPECT_EQ(ErrorBoxText("File not found"), "File not found.");
    EXPECT_EQ(ErrorBoxText("Done."), "Done.");
    EXPECT_EQ(ErrorBoxText("Really!"), "Really!");
    EXPECT_EQ(ErrorBoxText("x 3"), "x 3.");
    EXPECT_EQ(ErrorBoxText(""), "");
}
