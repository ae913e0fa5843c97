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

TEST(CodePage, OemAndUtf16ToUtf8)
{
    EXPECT_EQ(OemToUtf8("\x84rger \xC4"), "\xC3\xA4rger \xE2\x94\x80");  // ä, box drawing ─
    EXPECT_EQ(Utf16ToUtf8(u"Caf\u00E9 \u20AC"), "Caf\xC3\xA9 \xE2\x82\xAC");
    EXPECT_EQ(Utf16ToUtf8(u"\U0001F600"), "\xF0\x9F\x98\x80");  // a surrogate pair
    const char16_t lone[] = {u'a', 0xD800, u'b', 0};
    EXPECT_EQ(Utf16ToUtf8(lone), "a\xEF\xBF\xBD"
                                 "b");
}

TEST(CodePage, ProgramTextAndTheStoredPages)
{
    EXPECT_EQ(TextToUtf8("Caf\xC3\xA9"), "Caf\xC3\xA9");
    EXPECT_EQ(TextToUtf8("Caf\xE9"), "Caf\xC3\xA9");  // older Windows-1252 bytes
    EXPECT_EQ(Utf8ToAnsiExact("Caf\xC3\xA9 \xE2\x82\xAC").value(), "Caf\xE9 \x80");
    EXPECT_FALSE(Utf8ToAnsiExact("\xC5\x81\xC3\xB3"
                                 "d\xC5\xBA")
                     .has_value());  // Ł has no byte there
    EXPECT_EQ(Utf8ToAnsiExact("raw\xE9").value(), "raw\xE9");
    EXPECT_EQ(Utf8ToOem("\xC3\xBC"
                        "ber \xC5\x81"),
              "\x81"
              "ber ?");
    // Cut at a character boundary: never half of a two-, three- or four-byte character.
    EXPECT_EQ(CutUtf8("ab\xC3\xA9", 3), "ab");
    EXPECT_EQ(CutUtf8("ab\xC3\xA9", 4), "ab\xC3\xA9");
    EXPECT_EQ(CutUtf8("a\xE2\x82\xAC", 3), "a");
    EXPECT_EQ(CutUtf8("a\xF0\x9F\x98\x80z", 4), "a");
    EXPECT_EQ(CutUtf8("abc", 0), "");
}

TEST(ErrorReport, FullStopOnlyAfterCharactersAboveIt)
{
    EXPECT_EQ(ErrorBoxText("File not found"), "File not found.");
    EXPECT_EQ(ErrorBoxText("Done."), "Done.");
    EXPECT_EQ(ErrorBoxText("Really!"), "Really!");
    EXPECT_EQ(ErrorBoxText("x 3"), "x 3.");
    EXPECT_EQ(ErrorBoxText(""), "");
}
