// How the front end treats the library it loads, at the loader: each of these executables sits
// in a folder of its own with a stand-in library beside it, or none (UNACE_LIBRARY_KIND).
#include "archive/AceExtraction.h"
#include "support/ScriptedDesktop.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>

namespace fs = std::filesystem;

#define UNACE_NO_LIBRARY 0
#define UNACE_FAKE_LIBRARY 1
#define UNACE_FAKE_WITHOUT_FUNCTION 2

namespace {

struct UnaceLoader : ::testing::Test {
    ScriptedDesktop desktop;
    TempDir tmp;
    std::string game = tmp / "game";
    std::string log = tmp / "calls.log";
    void SetUp() override
    {
        fs::create_directory(game);
        TempDir::Write(game + "/battle.bte", "turn 3");
        setenv("UNACE_FAKE_LOG", log.c_str(), 1);
        unsetenv("UNACE_FAKE_RESULT");
    }
    void TearDown() override { unsetenv("UNACE_FAKE_LOG"); }

    std::vector<std::string> Calls()
    {
        std::vector<std::string> out;
        std::istringstream in(TempDir::Read(log));
        for (std::string line; std::getline(in, line);)
            out.push_back(line);
        fs::remove(log);
        return out;
    }
    std::vector<std::string> Words()
    {
        std::vector<std::string> out;
        for (auto& line : Calls())
            out.push_back(line.substr(0, line.find(' ')));
        return out;
    }
};

using Lines = std::vector<std::string>;

}  // namespace

#if UNACE_LIBRARY_KIND == UNACE_NO_LIBRARY

TEST_F(UnaceLoader, WithoutTheLibraryOnlyTheLoadErrorShowsAndNothingChanges)
{
    archive::ExtractAceArchive(tmp / "turn.ace", game);
    ASSERT_EQ(desktop.shown.size(), 1u);
    EXPECT_EQ(desktop.shown[0].kind, Shown::Box);
    EXPECT_EQ(desktop.shown[0].text,
              "Could not find UnAceV2.Dll (must be in system, applicaton's or current directory)!");
    EXPECT_EQ(desktop.shown[0].caption, "ACE Load Error");
    EXPECT_EQ(desktop.shown[0].flags, base::MB_OK);
    std::vector<fs::path> files;
    for (auto& e : fs::recursive_directory_iterator(game))
        files.push_back(e.path());
    ASSERT_EQ(files.size(), 1u);
    EXPECT_EQ(TempDir::Read(game + "/battle.bte"), "turn 3");
}

#elif UNACE_LIBRARY_KIND == UNACE_FAKE_LIBRARY

TEST_F(UnaceLoader, EveryExtractionLoadsInitialisesAndReleasesOnce)
{
    archive::ExtractAceArchive(tmp / "one.ace", game);
    archive::ExtractAceArchive(tmp / "two.ace", game);
    EXPECT_EQ(Words(),
              (Lines {"load", "init", "read", "extract", "release", "load", "init", "read", "extract", "release"}));
    ASSERT_EQ(desktop.shown.size(), 2u);
    for (const auto& s : desktop.shown) {
        EXPECT_EQ(s.text, "File(s) extracted succesfully(unace) !");
        EXPECT_EQ(s.caption, "Success");
    }
}

TEST_F(UnaceLoader, RecordsCarryTheirValuesAndNothingElse)
{
    archive::ExtractAceArchive(tmp / "turn.ace", game);
    Lines calls = Calls();
    ASSERT_EQ(calls.size(), 5u);
    EXPECT_EQ(calls[1], "init 131071 196607 comment=buffer 8192 temp='C:\\TEMP' rest=0");
    EXPECT_EQ(calls[2], "read '" + tmp / "turn.ace" + "' cleared");
    // The game directory goes over as stored, without a separator added.
    EXPECT_EQ(calls[3], "extract '" + tmp / "turn.ace" + "' base='' list='' exclude='' options=0 dest='" + game +
                            "' flags=-1 extra='' rest=0");
}

TEST_F(UnaceLoader, GameDirectoryIsPassedExactlyAsStored)
{
    archive::ExtractAceArchive("c:\\Incoming\\turn.ace", "c:\\Games\\Grey Coast");
    Lines calls = Calls();
    ASSERT_EQ(calls.size(), 5u);
    EXPECT_NE(calls[3].find("dest='c:\\Games\\Grey Coast' "), std::string::npos) << calls[3];
}

TEST_F(UnaceLoader, NoAceArchiveReleasesTheLibraryAndTheNextOneLoadsItAgain)
{
    archive::ExtractAceArchive(tmp / "turn.notace", game);
    EXPECT_EQ(Words(), (Lines {"load", "init", "read", "release"}));
    ASSERT_EQ(desktop.shown.size(), 1u);
    EXPECT_EQ(desktop.shown[0].text, "No ACE-archive!");
    EXPECT_EQ(desktop.shown[0].caption, "ACE Extract Error");
    archive::ExtractAceArchive(tmp / "turn.ace", game);
    EXPECT_EQ(Words(), (Lines {"load", "init", "read", "extract", "release"}));
}

TEST_F(UnaceLoader, FailedExtractionIsNotReportedAsSuccess)
{
    setenv("UNACE_FAKE_RESULT", "6", 1);
    archive::ExtractAceArchive(tmp / "turn.ace", game);
    EXPECT_EQ(Words(), (Lines {"load", "init", "read", "extract", "release"}));
    ASSERT_EQ(desktop.shown.size(), 1u);
    EXPECT_EQ(desktop.shown[0].caption, "ACE Extract Error");
    EXPECT_EQ(desktop.shown[0].text, archive::AceExtractErrorText(unace::kAceErrorWrite));
}

#elif UNACE_LIBRARY_KIND == UNACE_FAKE_WITHOUT_FUNCTION

TEST_F(UnaceLoader, MissingEntryPointIsNamedOnStandardOutputAndTheLibraryReleased)
{
    testing::internal::CaptureStdout();
    archive::ExtractAceArchive(tmp / "turn.ace", game);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "Could not find function in UnAceV2.Dll!\n");
    EXPECT_EQ(Words(), (Lines {"load", "release"}));
    ASSERT_EQ(desktop.shown.size(), 1u);
    EXPECT_EQ(desktop.shown[0].text,
              "Could not find UnAceV2.Dll (must be in system, applicaton's or current directory)!");
    EXPECT_EQ(desktop.shown[0].caption, "ACE Load Error");
    EXPECT_EQ(TempDir::Read(game + "/battle.bte"), "turn 3");
}

#endif
