#include "ui/MainWindow.h"
#include "base/Files.h"
#include "base/ProgramDir.h"
#include "support/ConfigFile.h"
#include "support/ScriptedDesktop.h"
#include "support/TempDir.h"
#include "ui/FlatButton.h"
#include "ui/ListBox.h"
#include "ui/TabStrip.h"

#include <QTest>
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <utime.h>

namespace fs = std::filesystem;

namespace {

// The names inside a zip archive, as Info-ZIP lists them.
std::vector<std::string> ZipNames(const std::string& archive)
{
    std::vector<std::string> names;
    FILE* p = popen(("unzip -Z1 '" + archive + "' 2>/dev/null").c_str(), "r");
    char line[4096];
    while (p && fgets(line, sizeof line, p)) {
        std::string s(line);
        while (!s.empty() && (s.back() == '\n' || s.back() == '\r'))
            s.pop_back();
        names.push_back(s);
    }
    if (p)
        pclose(p);
    return names;
}

void SetTime(const std::string& file, time_t when)
{
    utimbuf t {when, when};
    utime(file.c_str(), &t);
}

class CompressTest : public ::testing::Test {
protected:
    void SetUp() override { Start(1); }
    void Start(uint8_t rule)
    {
        form.reset();
        base::SetProgramDirectory(tmp / "prog");
        WriteConfig(tmp / "prog", tmp / "game", tmp / "out", tmp / "in", 0, rule);
        if (!fs::exists(tmp / "game/Turn07.bte"))
            TempDir::Write(tmp / "game/Turn07.bte", BattleText("1 0", "Turn seven", "36 60", "1"));
        fs::create_directories(tmp / "out");
        fs::create_directories(tmp / "in");
        form = std::make_unique<MainWindow>();
        // The zip libraries are found through the component's library folder.
        form->ZipComponent1.SetDLLDirectory(TURNEX_BIN_DIR);
        form->show();
    }
    void Press() { QTest::mouseClick(form->FlatButton4, Qt::LeftButton, {}, QPoint(5, 5)); }
    void ClickRow(int row)
    {
        QTest::mouseClick(form->ListBox1->viewport(), Qt::LeftButton, {},
                          form->ListBox1->visualItemRect(form->ListBox1->item(row)).center());
    }
    std::vector<std::string> Messages() const
    {
        std::vector<std::string> out;
        for (const auto& s : desktop.shown)
            if (s.kind == Shown::Message || s.kind == Shown::Box || s.kind == Shown::Error)
                out.push_back(s.text);
        return out;
    }
    size_t Prompts() const
    {
        size_t n = 0;
        for (const auto& s : desktop.shown)
            n += s.kind == Shown::Input;
        return n;
    }
    TempDir tmp;
    ScopedWinePrefix prefix {tmp / "wine"};
    ScriptedDesktop desktop;
    std::unique_ptr<MainWindow> form;
    const std::string zipped = "File successfully zipped!";
};

}  // namespace

TEST_F(CompressTest, SelectFileFirst)
{
    fs::remove(tmp / "game/Turn07.bte");
    form->FlatButton3Click();  // an empty "Battles" list
    Press();
    form->TabSet1->ClickTab(2);
    TempDir::Write(tmp / "in/a.zip", "x");
    form->FlatButton3Click();
    Press();  // filled, but nothing selected
    form->TabSet1->ClickTab(1);
    Press();  // disabled on "Outcoming"
    EXPECT_EQ(Messages(), (std::vector<std::string> {"Select file!", "Select file!"}));
}

TEST_F(CompressTest, CompressPacksTheFirstBattleIntoTheOutgoingFolder)
{
    TempDir::Write(tmp / "game/Turn08.bte", BattleText("1 0", "Turn eight", "42 60", "1"));
    form->FlatButton3Click();
    Press();  // right after the fill: the first entry
    EXPECT_EQ(Messages(), (std::vector<std::string> {zipped}));
    EXPECT_EQ(ZipNames(tmp / "out/Turn07.zip"), (std::vector<std::string> {"Turn07.bte"}));
    EXPECT_EQ(form->Config.Current().OutgoingDir(), (tmp / "out") + "\\");
    EXPECT_EQ(form->ZipComponent1.GetZipFileName(), (tmp / "out") + "\\Turn07.zip");
    EXPECT_FALSE(fs::exists(tmp / "out/Turn08.zip"));
}

TEST_F(CompressTest, RuleOneAsksOnlyForANewerArchive)
{
    Press();
    ASSERT_TRUE(fs::exists(tmp / "out/Turn07.zip"));
    const time_t battle = fs::last_write_time(tmp / "game/Turn07.bte").time_since_epoch().count() ? 1700000000 : 0;
    SetTime(tmp / "game/Turn07.bte", battle);
    SetTime(tmp / "out/Turn07.zip", battle + 1);  // the same two-second step
    Press();
    SetTime(tmp / "out/Turn07.zip", battle - 100);  // older
    Press();
    EXPECT_EQ(Prompts(), 0u);

    SetTime(tmp / "out/Turn07.zip", battle + 100);  // newer: asked, OK keeps the path
    desktop.inputAnswers = {{true, (tmp / "out") + "\\Turn07.zip"}};
    const size_t asked = desktop.shown.size();
    Press();
    ASSERT_EQ(Prompts(), 1u);
    EXPECT_EQ(desktop.shown[asked].kind, Shown::Input);
    EXPECT_EQ(desktop.shown[asked].caption, "Select a name");
    EXPECT_EQ(desktop.shown[asked].text, "File exists,change name or click OK for overwrite.");
    EXPECT_EQ(ZipNames(tmp / "out/Turn07.zip"), (std::vector<std::string> {"Turn07.bte"}));

    SetTime(tmp / "out/Turn07.zip", battle + 100);
    desktop.inputAnswers = {{true, tmp / "out/Other.zip"}};
    Press();
    EXPECT_EQ(ZipNames(tmp / "out/Other.zip"), (std::vector<std::string> {"Turn07.bte"}));

    SetTime(tmp / "out/Turn07.zip", battle + 100);
    const auto before = Messages().size();
    desktop.inputAnswers = {{false, ""}};  // Cancel: silently nothing
    fs::remove(tmp / "out/Other.zip");
    Press();
    EXPECT_EQ(Messages().size(), before);
    EXPECT_FALSE(fs::exists(tmp / "out/Other.zip"));
}

TEST_F(CompressTest, RuleTwoAsksWheneverTheArchiveExists)
{
    Start(2);
    Press();
    EXPECT_EQ(Prompts(), 0u);
    desktop.inputAnswers = {{true, (tmp / "out") + "\\Turn07.zip"}};
    // The battle changed since it was packed: update mode replaces it.
    SetTime(tmp / "game/Turn07.bte", std::time(nullptr) + 60);
    Press();
    EXPECT_EQ(Prompts(), 1u);
    EXPECT_EQ(Messages(), (std::vector<std::string> {zipped, zipped}));
    // Unchanged since: update mode has nothing to do, and no success is claimed.
    desktop.inputAnswers = {{true, (tmp / "out") + "\\Turn07.zip"}};
    Press();
    EXPECT_EQ(Prompts(), 2u);
    EXPECT_EQ(Messages(), (std::vector<std::string> {zipped, zipped}));
}

TEST_F(CompressTest, RuleZeroAddsInUpdateModeAndOtherRulesDoNothing)
{
    Start(0);
    TempDir::Write(tmp / "other.bte", "other battle");
    ASSERT_EQ(std::system(("cd '" + tmp.path() + "' && zip -q out/Turn07.zip other.bte").c_str()), 0);
    Press();
    EXPECT_EQ(Prompts(), 0u);
    EXPECT_EQ(Messages(), (std::vector<std::string> {zipped}));
    auto names = ZipNames(tmp / "out/Turn07.zip");
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string> {"Turn07.bte", "other.bte"}));

    Start(5);
    fs::remove(tmp / "out/Turn07.zip");
    const auto before = desktop.shown.size();
    Press();
    EXPECT_EQ(desktop.shown.size(), before);
    EXPECT_FALSE(fs::exists(tmp / "out/Turn07.zip"));
}

TEST_F(CompressTest, ANonZipOfTheArchivesNameIsReportedAndNothingIsWritten)
{
    TempDir::Write(tmp / "out/Turn07.zip", "not a zip archive at all, just text");
    Press();
    EXPECT_EQ(Prompts(), 0u);
    EXPECT_EQ(TempDir::Read(tmp / "out/Turn07.zip"), "not a zip archive at all, just text");
    const auto messages = Messages();
    ASSERT_GE(messages.size(), 2u);  // the bad archive, then the missing name
    EXPECT_EQ(std::count(messages.begin(), messages.end(), zipped), 0);
}

TEST_F(CompressTest, AnEmptiedNamePromptWritesNothingAndTheNextCompressPacksOnlyItsBattle)
{
    Start(2);
    Press();
    desktop.inputAnswers = {{true, ""}};
    Press();
    auto messages = Messages();
    EXPECT_EQ(std::count(messages.begin(), messages.end(), zipped), 1);
    EXPECT_GT(messages.size(), 1u);  // the component said the name is missing

    fs::remove(tmp / "out/Turn07.zip");
    Press();
    EXPECT_EQ(ZipNames(tmp / "out/Turn07.zip"), (std::vector<std::string> {"Turn07.bte"}));
}

TEST_F(CompressTest, DecompressByTheNamesLastThreeLetters)
{
    TempDir::Write(tmp / "src/Turn09.bte", BattleText("0 0", "Turn nine", "48 60", "2"));
    ASSERT_EQ(std::system(("cd '" + tmp.path() + "/src' && zip -q ../in/TURN07.ZIP Turn09.bte").c_str()), 0);
    TempDir::Write(tmp / "game/Turn09.bte", "an older copy");
    form->TabSet1->ClickTab(2);
    ASSERT_EQ(form->ListBox1->count(), 1);
    ClickRow(0);
    Press();
    // An entry of another kind (the list shows none, but the name alone decides) is ignored.
    TempDir::Write(tmp / "in/turn07.7z", "7z");
    form->ListBox1->SetItems({QStringLiteral("turn07.7z")}, {QByteArray("turn07.7z")});
    ClickRow(0);
    Press();
    EXPECT_EQ(Messages(), (std::vector<std::string> {"File(s) extracted succesfully(unzip) !"}));
    // Replaced without a question, whatever the overwrite rule says.
    EXPECT_EQ(TempDir::Read(tmp / "game/Turn09.bte"), TempDir::Read(tmp / "src/Turn09.bte"));
    EXPECT_EQ(form->Config.Current().IncomingDir(), (tmp / "in") + "\\");
    EXPECT_EQ(form->ZipComponent1.ExtrBaseDir, tmp / "game");
    // Nothing is refreshed.
    EXPECT_EQ(form->ListBox1->count(), 1);
}

TEST_F(CompressTest, DecompressRarAndAce)
{
    const std::string shared = TURNEX_SHARED_TESTDATA;
    if (!fs::exists(shared + "/rar") || !fs::exists(shared + "/ace"))
        GTEST_SKIP() << "shared test data not found beside the clone (" << shared << ")";
    // Any archive of each kind the libraries unpack: its members land in the game folder.
    fs::copy_file(shared + "/ace/ALCHT.ACE", tmp / "in/alcht.ace");
    form->TabSet1->ClickTab(2);
    ClickRow(0);
    Press();
    ASSERT_FALSE(desktop.shown.empty());
    EXPECT_EQ(desktop.shown.back().text, "File(s) extracted succesfully(unace) !");
    size_t files = 0;
    for (auto& e : fs::recursive_directory_iterator(tmp / "game"))
        files += e.is_regular_file();
    EXPECT_GT(files, 1u);
}
