#include "ui/QtText.h"

#include <gtest/gtest.h>

using namespace ui;

TEST(QtText, Windows1252RoundTripAndUnknownCharacters)
{
    std::string all;
    for (int c = 1; c < 256; ++c)
        all += static_cast<char>(c);
    EXPECT_EQ(QStringToAnsi(AnsiToQString(all)), all);
    // Characters the page cannot hold become "?".
    EXPECT_EQ(QStringToAnsi(QString::fromUtf8("a\xE2\x98\x83"
                                              "b\xF0\x9F\x98\x80")),
              "a?b?");
}

TEST(QtText, DisplayStringKeepsNativeUtf8Paths)
{
    EXPECT_EQ(DisplayString("/home/ann/Caf\xC3\xA9"), QString::fromUtf8("/home/ann/Caf\xC3\xA9"));
    EXPECT_EQ(DisplayString("c:\\Caf\xE9"), QString::fromUtf8("c:\\Caf\xC3\xA9"));
}
