#include "app/BattleFile.h"
#include "app/Catalogue.h"
#include "base/Errors.h"

#include <gtest/gtest.h>

#include <vector>

using namespace app;

namespace {

struct Got {
    std::vector<std::string> values;  // side, turn, length, visibility as handed over
};

Got Parse(const std::string& text)
{
    Got got;
    BattleDetailsSink sink;
    sink.Side = [&](const std::string& v) { got.values.push_back(v); };
    sink.CurrentTurn = sink.Side;
    sink.Length = sink.Side;
    sink.Visibility = sink.Side;
    ParseBattleDetails(text, sink);
    return got;
}

std::string WithLines(const std::string& l4, const std::string& l7, const std::string& l8)
{
    return "1\r2\r3\r" + l4 + "\r5\rtitle\r" + l7 + "\r" + l8 + "\r";
}

}  // namespace

TEST(BattleFile, LineRules)
{
    // CR ends a line, CR LF is one line end, a lone LF belongs to the line, 0x1A ends the text.
    MemorySource in("a\rb\r\nc\nd\r\x1A"
                    "e\r");
    bool ended = false;
    EXPECT_EQ(ReadBattleLine(in, ended), "a");
    EXPECT_EQ(ReadBattleLine(in, ended), "b");
    EXPECT_EQ(ReadBattleLine(in, ended), "c\nd");
    EXPECT_EQ(ReadBattleLine(in, ended), "");
    EXPECT_TRUE(ended);
    EXPECT_EQ(ReadBattleLine(in, ended), "");
    const std::string longLine = std::string(100000, 'x') + "\r\n";
    MemorySource big(longLine);
    ended = false;
    EXPECT_EQ(ReadBattleLine(big, ended).size(), 100000u);
}

TEST(BattleFile, PlayingSide)
{
    for (const char* allies : {"1 0", "0 0"})
        EXPECT_EQ(Parse(WithLines(allies, "0 60", "v")).values[0], "Allies") << allies;
    for (const char* axis : {"0 1", "1 1", "1 0 ", "10", "", " 1 0"})
        EXPECT_EQ(Parse(WithLines(axis, "0 60", "v")).values[0], "Axis") << '"' << axis << '"';
}

TEST(BattleFile, TurnAndLength)
{
    struct Case {
        const char* line7;
        const char* turn;
        const char* length;
    } cases[] = {{"0 60", "1", "10"},   {"17 60", "3", "10"},  {"5 5", "1", "0"},
                 {"12 x 48", "3", "8"}, {"-7 -13", "0", "-2"}, {"2147483647 6", "357913942", "1"}};
    for (const auto& c : cases) {
        auto v = Parse(WithLines("1 0", c.line7, "v")).values;
        ASSERT_EQ(v.size(), 4u);
        EXPECT_EQ(v[1], c.turn) << c.line7;
        EXPECT_EQ(v[2], c.length) << c.line7;
    }
    // No space: no first and last field; turn and length stay empty.
    for (const char* none : {"", "60"}) {
        auto v = Parse(WithLines("1 0", none, "v")).values;
        EXPECT_EQ(v[1], "");
        EXPECT_EQ(v[2], "");
        EXPECT_EQ(v[3], "v");
    }
}

TEST(BattleFile, BadNumbersStopAfterTheValuesBefore)
{
    struct Case {
        const char* line7;
        const char* message;
        size_t handedOver;
    } cases[] = {{" 60", "'' is not a valid integer value", 1},
                 {"60 ", "'' is not a valid integer value", 2},
                 {"x 60", "'x' is not a valid integer value", 1},
                 {"6 1e3", "'1e3' is not a valid integer value", 2},
                 {"2147483648 6", "'2147483648' is not a valid integer value", 1}};
    for (const auto& c : cases) {
        Got got;
        BattleDetailsSink sink;
        sink.Side = [&](const std::string& v) { got.values.push_back(v); };
        sink.CurrentTurn = sink.Length = sink.Visibility = sink.Side;
        try {
            ParseBattleDetails(WithLines("1 0", c.line7, "v"), sink);
            ADD_FAILURE() << c.line7;
        } catch (const base::Exception& e) {
            EXPECT_STREQ(e.what(), c.message);
        }
        EXPECT_EQ(got.values.size(), c.handedOver) << c.line7;
    }
}

TEST(BattleFile, Visibility)
{
    EXPECT_EQ(Parse(WithLines("1 0", "0 6", "fog 3")).values[3], "3");
    EXPECT_EQ(Parse(WithLines("1 0", "0 6", "4")).values[3], "4");
    EXPECT_EQ(Parse(WithLines("1 0", "0 6", "one two three")).values[3], "three");
    EXPECT_EQ(Parse(WithLines("1 0", "0 6", "word ")).values[3], "");
    // Four lines only: side set, the rest empty.
    auto v = Parse("1\r\n2\r\n3\r\n0 0\r\n").values;
    EXPECT_EQ(v, (std::vector<std::string> {"Allies", "", "", ""}));
}

TEST(Catalogue, FormatKilobytes)
{
    EXPECT_EQ(FormatKilobytes(0), "0 kB");
    EXPECT_EQ(FormatKilobytes(1000), "0.97 kB");
    EXPECT_EQ(FormatKilobytes(1024), "1 kB");
    EXPECT_EQ(FormatKilobytes(1536), "1.5 kB");
    EXPECT_EQ(FormatKilobytes(123456), "120.56 kB");
    EXPECT_EQ(FormatKilobytes(1048576), "1024 kB");
    EXPECT_EQ(FormatKilobytes(1536, ','), "1,5 kB");
    EXPECT_EQ(FormatKilobytes(int64_t(5) << 32), "20971520 kB");  // sizes beyond 2 GB stay right
}

TEST(Catalogue, DosDateTimes)
{
    auto d = DecodeDosDateTime(static_cast<int32_t>((44u << 25) | (3u << 21) | (5u << 16)));
    EXPECT_EQ(d.Year, 2024);
    EXPECT_EQ(d.Month, 3);
    EXPECT_EQ(d.Day, 5);
    EXPECT_EQ(d.Hour, 0);
    try {
        DecodeDosDateTime(-1);
        FAIL();
    } catch (const base::Exception& e) {
        EXPECT_STREQ(e.what(), "Invalid argument to date encode");
    }
}
