#include "base/CaseFold.h"

#include <gtest/gtest.h>

using base::EqualIgnoringCase;
using base::FoldCase;

TEST(CaseFold, LettersOfEveryScriptMatchTheirOtherCase)
{
    EXPECT_TRUE(EqualIgnoringCase("Grey Coast", "GREY COAST"));
    EXPECT_TRUE(EqualIgnoringCase("\xC3\x84rger.bte", "\xC3\xA4RGER.BTE"));                  // Ärger / äRGER
    EXPECT_TRUE(EqualIgnoringCase("\xD0\x91\xD0\xBE\xD0\xB9", "\xD0\xB1\xD0\x9E\xD0\x99"));  // Бой / бОЙ
    EXPECT_TRUE(EqualIgnoringCase("\xCE\xA3", "\xCF\x82"));                                  // Σ / final ς
    EXPECT_TRUE(EqualIgnoringCase("\xE1\xBA\x9E", "\xC3\x9F"));                              // ẞ / ß
    EXPECT_FALSE(EqualIgnoringCase("turn1.bte", "turn2.bte"));
    EXPECT_FALSE(EqualIgnoringCase("turn.bte", "turn.bte "));
    // One character for one, as Wine compares: "ß" is not "SS".
    EXPECT_FALSE(EqualIgnoringCase("stra\xC3\x9F"
                                   "e",
                                   "STRASSE"));
}

TEST(CaseFold, BytesThatAreNotUtf8MatchOnlyThemselves)
{
    EXPECT_TRUE(EqualIgnoringCase("Caf\xE9", "CAF\xE9"));
    EXPECT_FALSE(EqualIgnoringCase("Caf\xE9", "Caf\xE8"));
    EXPECT_FALSE(EqualIgnoringCase("Caf\xC9", "Caf\xE9"));
    EXPECT_FALSE(EqualIgnoringCase("\xC3", "\xC3\x84"));
    EXPECT_EQ(FoldCase("A\xE9Z"), "a\xE9z");
}

TEST(CaseFold, FoldingGivesOneSpellingForEveryCase)
{
    EXPECT_EQ(FoldCase("SOFTWARE\\Vantaris"), "software\\vantaris");
    EXPECT_EQ(FoldCase("\xC3\x84RGER"), FoldCase("\xC3\xA4rger"));
    EXPECT_EQ(FoldCase("\xC4\xB0"), "\xC4\xB0");  // dotted capital I has no one-character folding
}
