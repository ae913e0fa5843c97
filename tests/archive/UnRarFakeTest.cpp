// The front end against a scripted library: the result codes that no real archive produces.
#include "archive/RarExtraction.h"
#include "support/ScriptedDesktop.h"

#include "turnex/unrar.h"

#include <gtest/gtest.h>

struct FakeUnRarLog {
    int opens, reads, processes, closes;
    unsigned openMode, cmtBufSize;
    int lastOperation;
    int destPathNull, destNameNull, headerCmtBufNull;
    char lastDest[1024];
    char arcName[1024];
};

extern "C" {
void FakeUnRarReset(int openResult);
void FakeUnRarSetComment(unsigned state, const char* text);
void FakeUnRarPushHeader(int result);
void FakeUnRarPushProcess(int result);
void FakeUnRarSetRefusal(int count, const char* name, const char* reason);
void FakeUnRarSetCloseResult(int result);
const FakeUnRarLog* FakeUnRarGetLog();
}

namespace {

struct Box {
    std::string text, caption;
    bool operator==(const Box&) const = default;
};

std::vector<Box> Boxes(const ScriptedDesktop& desktop)
{
    std::vector<Box> out;
    for (const auto& s : desktop.shown) {
        EXPECT_EQ(s.kind, Shown::Box);
        EXPECT_EQ(s.flags, base::MB_OK);
        out.push_back({s.text, s.caption});
    }
    return out;
}

void PrintTo(const Box& b, std::ostream* os) { *os << "{\"" << b.text << "\", \"" << b.caption << "\"}"; }

const Box kSuccess {"File(s) extracted succesfully(unrar) !", "Success"};

}  // namespace

TEST(UnRarFake, EveryOpenFailureHasItsMessageAndNeverCloses)
{
    const std::string kCannotOpen = "turnex cannot open the RAR archive \"turn.rar\": ";
    const std::vector<std::pair<int, std::string>> cases = {
        {ERAR_NO_MEMORY, "Not enough memory to initialize data structures"},
        {ERAR_BAD_DATA, "Archive header broken"},
        {ERAR_BAD_ARCHIVE, "File is not valid RAR archive"},
        {ERAR_EOPEN, "File open error"},
        {ERAR_UNKNOWN_FORMAT,
         "The RAR archive \"turn.rar\" is in a format version too old or too new for turnex; turnex cannot unpack it."},
        {ERAR_MISSING_PASSWORD,
         "The RAR archive \"turn.rar\" is protected by a password; turnex cannot unpack encrypted RAR archives."},
        {ERAR_ECREATE, kCannotOpen + "a file could not be created (code 16)."},
        {ERAR_ECLOSE, kCannotOpen + "a file could not be closed (code 17)."},
        {ERAR_EREAD, kCannotOpen + "read error (code 18)."},
        {ERAR_EWRITE, kCannotOpen + "write error (code 19)."},
        {ERAR_UNKNOWN, kCannotOpen + "unknown error (code 21)."},
        {99, kCannotOpen + "unknown error (code 99)."},
    };
    for (const auto& [code, text] : cases) {
        ScriptedDesktop desktop;
        FakeUnRarReset(code);
        archive::ExtractRarArchive("/incoming/turn.rar", "/games/iron");
        const auto* log = FakeUnRarGetLog();
        EXPECT_EQ(log->opens, 1);
        EXPECT_EQ(log->reads, 0) << code;
        EXPECT_EQ(log->closes, 0) << code;
        EXPECT_EQ(Boxes(desktop), (std::vector<Box> {{text, "unRAR - Open error"}})) << code;
    }
}

TEST(UnRarFake, ArchiveIsOpenedForExtractionWithTheCommentBuffer)
{
    ScriptedDesktop desktop;
    FakeUnRarReset(0);
    FakeUnRarPushHeader(0);
    archive::ExtractRarArchive("/incoming/turn.rar", "/games/iron");
    const auto* log = FakeUnRarGetLog();
    EXPECT_STREQ(log->arcName, "/incoming/turn.rar");
    EXPECT_EQ(log->openMode, unsigned(RAR_OM_EXTRACT));
    EXPECT_EQ(log->cmtBufSize, 16384u);
    EXPECT_TRUE(log->headerCmtBufNull);
    EXPECT_EQ(log->lastOperation, RAR_EXTRACT);
    EXPECT_STREQ(log->lastDest, "/games/iron/");
    EXPECT_TRUE(log->destNameNull);
    EXPECT_EQ(log->closes, 1);
    EXPECT_EQ(Boxes(desktop), std::vector<Box> {kSuccess});
}

TEST(UnRarFake, EmptyGameDirectoryIsPassedAsAnEmptyString)
{
    ScriptedDesktop desktop;
    FakeUnRarReset(0);
    FakeUnRarPushHeader(0);
    archive::ExtractRarArchive("/incoming/turn.rar", "");
    EXPECT_FALSE(FakeUnRarGetLog()->destPathNull);
    EXPECT_STREQ(FakeUnRarGetLog()->lastDest, "");
}

TEST(UnRarFake, FirstHeaderAtTheEndIsSuccessWithNothingExtracted)
{
    ScriptedDesktop desktop;
    FakeUnRarReset(0);
    archive::ExtractRarArchive("/incoming/turn.rar", "/games/iron");
    EXPECT_EQ(FakeUnRarGetLog()->processes, 0);
    EXPECT_EQ(FakeUnRarGetLog()->closes, 1);
    EXPECT_EQ(Boxes(desktop), std::vector<Box> {kSuccess});
}

TEST(UnRarFake, FailedHeaderReadsAreReportedAsReadErrors)
{
    // 12 as written; every other code is a failure too, never the success message.
    const std::vector<std::pair<int, std::string>> cases = {
        {ERAR_BAD_DATA, "File header broken"},
        {ERAR_BAD_ARCHIVE, "Volume is not valid RAR archive"},
        {ERAR_EOPEN, "Volume open error"},
        {ERAR_EREAD, "Read error"},
        {ERAR_NO_MEMORY, "turnex could not read the RAR archive \"turn.rar\" to its end: not enough memory (code 11)."},
        {ERAR_MISSING_PASSWORD,
         "The RAR archive \"turn.rar\" is protected by a password; turnex cannot unpack encrypted RAR archives."},
    };
    for (const auto& [code, text] : cases) {
        ScriptedDesktop desktop;
        FakeUnRarReset(0);
        FakeUnRarPushHeader(0);
        FakeUnRarPushHeader(code);
        archive::ExtractRarArchive("/incoming/turn.rar", "/games/iron");
        EXPECT_EQ(FakeUnRarGetLog()->processes, 1) << code;
        EXPECT_EQ(FakeUnRarGetLog()->closes, 1) << code;
        EXPECT_EQ(Boxes(desktop), (std::vector<Box> {{text, "unRAR - read error"}})) << code;
    }
}

TEST(UnRarFake, ExtractionFailureStopsAtThatMemberWithItsMessage)
{
    const std::vector<std::pair<int, std::string>> cases = {
        {ERAR_BAD_DATA, "File CRC error"},
        {ERAR_BAD_ARCHIVE, "Volume is not valid RAR archive"},
        {ERAR_UNKNOWN_FORMAT, "Unknown archive format"},
        {ERAR_EOPEN, "Volume open error"},
        {ERAR_ECREATE, " File create error"},
        {ERAR_ECLOSE, "File close error"},
        {ERAR_EREAD, "Read error"},
        {ERAR_EWRITE, "Write error"},
        {ERAR_NO_MEMORY,
         "turnex could not unpack \"member.bte\" from the RAR archive \"turn.rar\": not enough memory (code 11)."},
        {ERAR_MISSING_PASSWORD,
         "\"member.bte\" in the RAR archive \"turn.rar\" is protected by a password; turnex cannot unpack "
         "encrypted RAR archives."},
        {ERAR_UNKNOWN,
         "turnex could not unpack \"member.bte\" from the RAR archive \"turn.rar\": unknown error (code 21)."},
    };
    for (const auto& [code, text] : cases) {
        ScriptedDesktop desktop;
        FakeUnRarReset(0);
        for (int i = 0; i < 4; ++i)
            FakeUnRarPushHeader(0);
        FakeUnRarPushProcess(0);
        FakeUnRarPushProcess(code);
        archive::ExtractRarArchive("/incoming/turn.rar", "/games/iron");
        EXPECT_EQ(FakeUnRarGetLog()->processes, 2) << code;  // the members after it are not attempted
        EXPECT_EQ(FakeUnRarGetLog()->closes, 1) << code;
        EXPECT_EQ(Boxes(desktop), (std::vector<Box> {{text, "unRAR - Extract error"}})) << code;
    }
}

TEST(UnRarFake, CommentIsShownOnlyWhenItWasRead)
{
    {
        ScriptedDesktop desktop;
        FakeUnRarReset(0);
        FakeUnRarSetComment(1, "Turn 12, your move\r\n");
        archive::ExtractRarArchive("/incoming/turn.rar", "/games/iron");
        EXPECT_EQ(Boxes(desktop), (std::vector<Box> {{"Turn 12, your move\r\n", "Comment"}, kSuccess}));
    }
    for (unsigned state : {0u, unsigned(ERAR_SMALL_BUF), unsigned(ERAR_BAD_DATA)}) {
        ScriptedDesktop desktop;
        FakeUnRarReset(0);
        FakeUnRarSetComment(state, "not shown");
        archive::ExtractRarArchive("/incoming/turn.rar", "/games/iron");
        EXPECT_EQ(Boxes(desktop), std::vector<Box> {kSuccess}) << state;
    }
}

TEST(UnRarFake, CommentFillingTheWholeBufferIsCutAtItsEnd)
{
    ScriptedDesktop desktop;
    FakeUnRarReset(0);
    FakeUnRarSetComment(1, std::string(20000, 'c').c_str());
    archive::ExtractRarArchive("/incoming/turn.rar", "/games/iron");
    ASSERT_EQ(desktop.shown.size(), 2u);
    EXPECT_EQ(desktop.shown[0].text, std::string(16384, 'c'));
}

TEST(UnRarFake, RefusedMembersAreNamedWithTheReasonInsteadOfTheCode)
{
    struct Case {
        int headerResult, processResult, count;
        std::string text, caption;
    };
    // A control character of the name is shown as "?".
    const std::string refused = "\"maps/Turn?07.bte\" in the RAR archive \"turn.rar\" was not unpacked: unsafe name.";
    const std::vector<Case> cases = {
        {ERAR_SUCCESS, ERAR_ECREATE, 1, refused, "unRAR - Extract error"},
        {ERAR_SUCCESS, ERAR_EWRITE, 2, refused + " One more file of it was not unpacked either.",
         "unRAR - Extract error"},
        // A file that could not take its place when the walk reached the end of the archive.
        {ERAR_ECREATE, ERAR_SUCCESS, 3, refused + " 2 more files of it were not unpacked either.",
         "unRAR - Extract error"},
    };
    for (const auto& c : cases) {
        ScriptedDesktop desktop;
        FakeUnRarReset(0);
        FakeUnRarPushHeader(0);
        FakeUnRarPushHeader(c.headerResult == ERAR_SUCCESS ? 0 : c.headerResult);
        FakeUnRarPushProcess(c.processResult);
        FakeUnRarSetRefusal(c.count,
                            "maps/Turn\x1B"
                            "07.bte",
                            "unsafe name");
        archive::ExtractRarArchive("/incoming/turn.rar", "/games/iron");
        EXPECT_EQ(Boxes(desktop), (std::vector<Box> {{c.text, c.caption}})) << c.count;
        EXPECT_EQ(FakeUnRarGetLog()->closes, 1);
    }
}

TEST(UnRarFake, FilesThatCannotTakeTheirPlaceAtCloseAreToldToo)
{
    {
        // After a failing member: both in one message.
        ScriptedDesktop desktop;
        FakeUnRarReset(0);
        FakeUnRarPushHeader(0);
        FakeUnRarPushProcess(ERAR_BAD_DATA);
        FakeUnRarSetCloseResult(ERAR_EWRITE);
        archive::ExtractRarArchive("/incoming/turn.rar", "/games/iron");
        EXPECT_EQ(Boxes(desktop), (std::vector<Box> {{"File CRC error Files unpacked before that could not all be put "
                                                      "in the game directory either: write error (code 19).",
                                                      "unRAR - Extract error"}}));
    }
    {
        // After the whole archive: no success message.
        ScriptedDesktop desktop;
        FakeUnRarReset(0);
        FakeUnRarPushHeader(0);
        FakeUnRarSetCloseResult(ERAR_ECREATE);
        archive::ExtractRarArchive("/incoming/turn.rar", "/games/iron");
        EXPECT_EQ(Boxes(desktop), (std::vector<Box> {{"turnex could not put every file of the RAR archive \"turn.rar\" "
                                                      "in the game directory: a file could not be created (code 16).",
                                                      "unRAR - Extract error"}}));
    }
}
