// The zip component as the main window has it: what its settings do to a real archive.
#include "support/ScriptedDesktop.h"
#include "support/TempDir.h"
#include "archive/ZipComponent.h"
#include "ops/TurnZip.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <map>

namespace {

// Member name to compression method (0 stored, 8 deflated), as Python's zipfile reads them.
std::map<std::string, int> Methods(const std::string& archive)
{
    std::map<std::string, int> methods;
    const std::string command =
        "python3 -c \"import sys, zipfile\n"
        "for i in zipfile.ZipFile(sys.argv[1]).infolist(): print(i.compress_type, i.filename)\" '" +
        archive + "'";
    FILE* listing = popen(command.c_str(), "r");
    char line[4096];
    while (listing && fgets(line, sizeof line, listing)) {
        std::string text(line);
        while (!text.empty() && text.back() == '\n')
            text.pop_back();
        const auto space = text.find(' ');
        methods[text.substr(space + 1)] = std::stoi(text.substr(0, space));
    }
    if (listing)
        pclose(listing);
    return methods;
}

}  // namespace

TEST(TurnZip, CompressesBattlesStoresPackedFilesAndTalksToThePlayer)
{
    TempDir tmp;
    ScriptedDesktop desktop;
    ZipComponent zip;
    ops::SetUpTurnZip(zip);
    zip.SetDLLDirectory(TURNEX_BIN_DIR);
    const std::string text(4000, 'b');
    for (const char* name : {"turn.bte", "inner.zip", "map.gif", "old.lha", "setup.exe"})
        TempDir::Write(tmp / name, text);
    zip.SetZipFileName(tmp / "out.zip");
    for (const char* name : {"turn.bte", "inner.zip", "map.gif", "old.lha", "setup.exe"})
        zip.FSpecArgs.push_back(tmp / name);
    zip.Add();
    ASSERT_EQ(zip.SuccessCount, 5);
    EXPECT_EQ(Methods(tmp / "out.zip"),
              (std::map<std::string, int> {
                  {"turn.bte", 8}, {"inner.zip", 0}, {"map.gif", 0}, {"old.lha", 0}, {"setup.exe", 8}}));
    // Not unattended: a missing archive is said to the player.
    zip.SetZipFileName(tmp / "nothing.zip");
    zip.Extract();
    ASSERT_EQ(desktop.shown.size(), 1u);
    EXPECT_EQ(desktop.shown[0].text, "There is no zip archive of this name, or no name was given.\nArchive: " +
                                         (tmp / "nothing.zip") + "\n(zip report 10102)");
}

TEST(TurnZip, DeletesForGoodLikeTheWindowsDesign)
{
    // Only the self-extracting conversion and multi-disk reading delete files, and this program
    // reaches neither: the setting is still the window's.
    ZipComponent zip;
    ASSERT_EQ(zip.HowToDelete, htdAllowUndo);
    ops::SetUpTurnZip(zip);
    EXPECT_EQ(zip.HowToDelete, htdFinal);
}
