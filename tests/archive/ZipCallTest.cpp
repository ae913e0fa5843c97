// The component's side of the zip library interface: the records it builds for libraries of
// each version (seen through stand-in libraries), library loading, and the callback.
#include "archive/ZipComponent.h"
#include "turnex/ZipRecords.h"
#include "support/ScriptedDesktop.h"
#include "support/TempDir.h"
#include "ZipTestSupport.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <sstream>
#include <unistd.h>

using namespace ziprec;

namespace {

const std::string kFakes = ZIP_FAKE_DIR;

std::string Report(int id, const std::string& archive = {}) { return ZipReport(id, "", archive); }

class ZipCall : public ::testing::Test {
protected:
    void SetUp() override
    {
        dump = tmp / "dump.txt";
        setenv("TURNEX_FAKE_DUMP", dump.c_str(), 1);
        char buf[4096];
        cwd = getcwd(buf, sizeof buf);
    }
    void TearDown() override
    {
        unsetenv("TURNEX_FAKE_DUMP");
        EXPECT_EQ(chdir(cwd.c_str()), 0);
    }
    std::map<std::string, std::string> Dumped()
    {
        std::map<std::string, std::string> out;
        std::istringstream in(TempDir::Read(dump));
        std::string line;
        while (std::getline(in, line))
            if (auto eq = line.find('='); eq != std::string::npos)
                out[line.substr(0, eq)] = line.substr(eq + 1);
        return out;
    }
    std::vector<std::string> Boxes() const
    {
        std::vector<std::string> out;
        for (const auto& s : desktop.shown)
            if (s.kind == Shown::Message)
                out.push_back(s.text);
        return out;
    }

    TempDir tmp;
    ScriptedDesktop desktop;
    ZipComponent zip;
    std::string dump;
    std::string cwd;
};

TEST_F(ZipCall, AddChecksComeBeforeTheLibraryAndKeepTheList)
{
    zip.SetDLLDirectory(tmp / "nolib");  // a load would report 10604
    zip.Add();
    EXPECT_EQ(Boxes(), std::vector<std::string> {Report(10301)});
    zip.FSpecArgs.push_back("c:\\games\\a.bte");
    zip.Add();
    EXPECT_EQ(zip.ErrCode, 10102);
    EXPECT_EQ(zip.FSpecArgs.size(), 1u);
    zip.Unattended = true;
    zip.AddOptions = {AddEncrypt};
    zip.SetZipFileName(tmp / "new.zip");
    zip.Add();
    EXPECT_EQ(zip.ErrCode, 10302);
    EXPECT_EQ(Boxes().size(), 2u);

    // The caller appends another path and names the archive: both reach the library.
    zip.Unattended = false;
    zip.AddOptions = {AddUpdate};
    zip.SetDLLDirectory(kFakes + "/zip151");
    zip.FSpecArgs.push_back("c:\\games\\b.bte");
    zip.Add();
    auto d = Dumped();
    EXPECT_EQ(d["count"], "2");
    EXPECT_EQ(d["file0"], "c:\\games\\a.bte");
    EXPECT_EQ(d["file1"], "c:\\games\\b.bte");
    EXPECT_EQ(zip.SuccessCount, 2);
    EXPECT_TRUE(zip.FSpecArgs.empty());
    // The library's message went through the callback without a box.
    EXPECT_EQ(zip.Message, "fake zip library 151");
    EXPECT_EQ(zip.FullErrCode, 0x1234);
    EXPECT_EQ(zip.ErrCode, 0x34);
    EXPECT_EQ(Boxes().size(), 2u);
}

TEST_F(ZipCall, MainWindowAddRecord)
{
    zip.SetDLLDirectory(kFakes + "/zip151");
    zip.AddOptions = {AddUpdate};
    zip.AddStoreSuffixes = {assGIF, assPNG, assZ, assZIP, assZOO, assARC, assLZH, assARJ, assTAZ, assTGZ, assLHA};
    zip.SetZipFileName(tmp / "out.zip");
    zip.ArchiveComment = "not for 151";
    zip.FSpecArgs.push_back("c:\\games\\battle.bte");
    zip.Add();
    auto d = Dumped();
    EXPECT_EQ(d["marker"], "7");
    EXPECT_EQ(d["version"], "160");
    EXPECT_EQ(d["handle"], "0");
    EXPECT_EQ(d["count"], "1");
    EXPECT_EQ(d["file0"], "c:\\games\\battle.bte");
    EXPECT_EQ(d["file0.root"], "(null)");
    EXPECT_EQ(d["file0.password"], "(null)");
    EXPECT_EQ(d["file0.encrypt"], "0");
    EXPECT_EQ(d["password"], "(null)");
    EXPECT_EQ(d["suffixes"], ".gif:.png:.z:.zip:.zoo:.arc:.lzh:.arj:.taz:.tgz:.lha");
    EXPECT_EQ(d["update"], "4294967295");
    EXPECT_EQ(d["freshen"], "0");
    EXPECT_EQ(d["junk"], "4294967295");
    EXPECT_EQ(d["nodirentries"], "4294967295");
    EXPECT_EQ(d["quiet"], "4294967295");
    EXPECT_EQ(d["always"], "4294967295");
    EXPECT_EQ(d["level"], "9");
    EXPECT_EQ(d["recurse"], "0");
    EXPECT_EQ(d["archive"], tmp / "out.zip");
    EXPECT_EQ(d["comment"], "(null)");
    EXPECT_EQ(d["tempdir"], "(null)");
    EXPECT_EQ(d["exclcount"], "0");
}

TEST_F(ZipCall, FileNamePrefixesAndPasswords)
{
    zip.SetDLLDirectory(kFakes + "/zip151");
    zip.SetZipFileName(tmp / "out.zip");
    zip.AddOptions = {AddRecurseDirs, AddFreshen, AddDirNames};
    zip.SetPassword("rec");
    zip.SetRootDir("c:\\games");
    zip.TempDir = "c:\\temp";
    zip.AddStoreSuffixes = {};
    zip.FSpecArgs = {">a.bte", "|b.bte", "c.bte<own", "d.bte<", "e.bte"};
    zip.Add();
    auto d = Dumped();
    EXPECT_EQ(d["file0"], "a.bte");
    EXPECT_EQ(d["file0.recurse"], "65535");
    EXPECT_EQ(d["file1"], "b.bte");
    EXPECT_EQ(d["file1.recurse"], "0");
    EXPECT_EQ(d["file2"], "c.bte");
    EXPECT_EQ(d["file2.password"], "own");
    EXPECT_EQ(d["file2.encrypt"], "65535");
    EXPECT_EQ(d["file3"], "d.bte<");
    EXPECT_EQ(d["file3.encrypt"], "0");
    EXPECT_EQ(d["file3.password"], "(null)");
    EXPECT_EQ(d["file4"], "e.bte");
    EXPECT_EQ(d["file4.password"], "rec");
    EXPECT_EQ(d["file4.recurse"], "65535");
    EXPECT_EQ(d["file4.root"], "c:\\games\\");
    EXPECT_EQ(d["password"], "rec");
    EXPECT_EQ(d["suffixes"], "(null)");
    EXPECT_EQ(d["freshen"], "4294967295");
    EXPECT_EQ(d["junk"], "0");
    EXPECT_EQ(d["tempdir"], "c:\\temp");
}

TEST_F(ZipCall, OldZipLibraryGetsTheShortForm)
{
    zip.SetDLLDirectory(kFakes + "/zip150");
    zip.SetZipFileName(tmp / "out.zip");
    zip.FSpecArgs = {"a.bte", "b.bte"};
    zip.Add();
    auto d = Dumped();
    EXPECT_EQ(d["marker"], "7");
    EXPECT_EQ(d["slot0"], "a.bte");
    EXPECT_EQ(d["slot1"], "b.bte");
    EXPECT_EQ(d["slot2"], "(null)");
    EXPECT_EQ(d["level"], "9");
    EXPECT_EQ(zip.SuccessCount, 2);
}

TEST_F(ZipCall, UnzipRecordForEachLibraryVersion)
{
    const std::string archive = tmp / "in.zip";
    TempDir::Write(archive, ziptest::BuildZip({{"a.bte", "x"}}));
    zip.ExtrOptions = {ExtrOverWrite};
    zip.SetPasswordReqCount(7);

    zip.SetDLLDirectory(kFakes + "/unzip151");
    zip.SetZipFileName(archive);
    zip.FSpecArgs = {"a.bte"};
    zip.ExtrBaseDir = tmp / "missing";
    zip.Extract();
    auto d = Dumped();
    EXPECT_EQ(d["marker"], "7");
    EXPECT_EQ(d["slot0"], "a.bte");
    EXPECT_EQ(d["slot1"], "(null)");
    EXPECT_EQ(d["overwrite"], "4294967295");
    EXPECT_EQ(d["password"], "");  // an empty text, not a null
    EXPECT_EQ(d["archive"], archive);
    EXPECT_EQ(d["cwd"], cwd);  // a base folder that does not exist leaves the current one
    EXPECT_TRUE(zip.FSpecArgs.empty());
    EXPECT_EQ(zip.SuccessCount, 1);

    zip.SetDLLDirectory(kFakes + "/unzip152");
    zip.ExtrBaseDir = tmp.path();
    zip.ExtrOptions = {ExtrUpdate, ExtrFreshen, ExtrTest};
    zip.Extract();
    d = Dumped();
    EXPECT_EQ(d["marker"], "7");
    EXPECT_EQ(d["reqcount"], "0");
    EXPECT_EQ(d["count"], "0");
    EXPECT_EQ(d["update"], "4294967295");
    EXPECT_EQ(d["freshen"], "0");
    EXPECT_EQ(d["test"], "4294967295");
    EXPECT_EQ(d["cwd"], std::filesystem::canonical(tmp.path()).string());

    zip.SetDLLDirectory(kFakes + "/unzip160");
    zip.SetPassword("pw");
    zip.Extract();
    d = Dumped();
    EXPECT_EQ(d["reqcount"], "7");
    EXPECT_EQ(d["password"], "pw");

    // Unattended without a password or handler: no password questions this run only.
    zip.SetPassword("");
    zip.Unattended = true;
    zip.Extract();
    EXPECT_EQ(Dumped()["reqcount"], "0");
    EXPECT_EQ(zip.GetPasswordReqCount(), 7u);
    EXPECT_EQ(zip.Message, Report(10502, zip.GetZipFileName()));
}

TEST_F(ZipCall, MissingLibrariesReportAndTouchNothing)
{
    const std::string archive = tmp / "keep.zip";
    const std::string bytes = ziptest::BuildZip({{"a.bte", "x"}});
    TempDir::Write(archive, bytes);
    TempDir::Write(tmp / "new.bte", "new");
    std::filesystem::create_directories(tmp / "dest");
    zip.SetDLLDirectory(tmp / "nolib");
    zip.SetZipFileName(archive);
    zip.FSpecArgs = {tmp / "new.bte"};
    zip.Add();
    EXPECT_EQ(Boxes(), std::vector<std::string> {Report(10604, archive)});
    EXPECT_EQ(zip.SuccessCount, 0);
    EXPECT_EQ(TempDir::Read(archive), bytes);
    EXPECT_EQ(zip.FSpecArgs.size(), 1u);

    zip.ExtrBaseDir = tmp / "dest";
    zip.Extract();
    EXPECT_EQ(zip.ErrCode, 10704);
    EXPECT_EQ(Boxes().back(), Report(10704, archive));
    char buf[4096];
    EXPECT_EQ(std::string(getcwd(buf, sizeof buf)), cwd);
    EXPECT_FALSE(std::filesystem::exists(tmp / "dest/a.bte"));
    EXPECT_EQ(zip.ZipVersion(), 0);

    zip.SetDLLDirectory(kFakes + "/zip150");
    zip.Trace = true;
    EXPECT_EQ(zip.ZipVersion(), 150);  // loaded for the question and released again
    EXPECT_EQ(zip.ErrCode, 10601);
}

// ---- the callback ----

class Callback : public ZipCall {
protected:
    int32_t Call(int32_t action, int32_t err, int32_t size, const std::string& text)
    {
        buf.assign(kCallback.size, 0);
        Record<cbFieldCount> rec(buf.data(), kCallback);
        rec.SetPtr(cbCaller, &zip);
        rec.SetI32(cbAction, action);
        rec.SetI32(cbErrorCode, err);
        rec.SetI32(cbSize, size);
        std::copy(text.begin(), text.end(), rec.At(cbText));
        return zip.ZipCallback(buf.data());
    }
    int32_t Err() { return Record<cbFieldCount>(buf.data(), kCallback).I32v(cbErrorCode); }
    int32_t Size() { return Record<cbFieldCount>(buf.data(), kCallback).I32v(cbSize); }
    std::string Text() { return reinterpret_cast<const char*>(buf.data() + kCallback.offset[cbText]); }
    std::vector<uint8_t> buf;
};

TEST_F(Callback, ProgressMessagesAndSkips)
{
    std::vector<std::tuple<int, std::string, int>> progress;
    zip.OnProgress = [&](ZipComponent* s, ProgressType t, const std::string& f, int32_t n) {
        EXPECT_EQ(s, &zip);
        progress.emplace_back(t, f, n);
    };
    EXPECT_EQ(Call(acFileStart, 0, 120, "sub/a.bte \t\r\n"), 0);
    Call(acProgress, 0, 64, "ignored");
    Call(acTotalFiles, 0, 3, "");
    Call(acTotalSize, 0, 999, "");
    Call(acEndOfBatch, 0, 5, "");
    using P = std::tuple<int, std::string, int>;
    EXPECT_EQ(progress, (std::vector<P> {{NewFile, "sub\\a.bte", 120},
                                         {ProgressUpdate, "", 64},
                                         {TotalFiles2Process, "", 3},
                                         {TotalSize2Process, "", 999},
                                         {EndOfBatch, "", 0}}));

    Call(acMessage, 0x20B, 0, "library says");
    EXPECT_EQ(zip.Message, "library says");
    EXPECT_EQ(zip.ErrCode, 0x0B);
    EXPECT_EQ(zip.FullErrCode, 0x20B);
    EXPECT_TRUE(desktop.shown.empty());

    std::vector<std::pair<std::string, int>> skipped;
    zip.OnExtractSkipped = [&](ZipComponent*, const std::string& f, UnZipSkipTypes k, int32_t e) {
        skipped.emplace_back(f, k);
        EXPECT_EQ(e, 0x305);
    };
    Call(acSkipped, 0x305, 0x103, "x.bte");
    EXPECT_EQ(skipped, (std::vector<std::pair<std::string, int>> {{"x.bte", 3}}));
    EXPECT_EQ(zip.ErrCode, 5);
    Call(13, 0, 0, "");  // unknown codes do nothing
}

TEST_F(Callback, QuestionsAnsweredByHandlersOrDefaults)
{
    Call(acCrcError, 11, 22, "bad.bte");
    EXPECT_EQ(Err(), 2);  // no handler
    zip.OnCRC32Error = [](ZipComponent*, const std::string& f, uint32_t found, uint32_t expected, bool& extract) {
        EXPECT_EQ(f, "bad.bte");
        EXPECT_EQ(found, 11u);
        EXPECT_EQ(expected, 22u);
        EXPECT_TRUE(extract);
        extract = false;
    };
    Call(acCrcError, 11, 22, "bad.bte");
    EXPECT_EQ(Err(), 0);

    Call(acOverwrite, 1, 0x100, "old.bte");
    EXPECT_EQ(Size(), 0x100);  // untouched without a handler
    zip.OnExtractOverwrite = [](ZipComponent*, const std::string&, bool older, bool& overwrite) {
        EXPECT_TRUE(older);
        EXPECT_FALSE(overwrite);
        overwrite = true;
    };
    Call(acOverwrite, 1, 0x100, "old.bte");
    EXPECT_EQ(Size(), 1);

    zip.OnSetNewName = [](ZipComponent*, std::string& name, bool& changed) {
        name = "renamed/" + name;
        changed = true;
    };
    Call(acNewName, 0, 0, "a.bte");
    EXPECT_EQ(Text(), "renamed/a.bte");
    EXPECT_EQ(Err(), 1);

    zip.OnFileComment = [](ZipComponent*, const std::string&, std::string& comment, bool& changed) {
        comment = std::string(600, 'c');
        changed = true;
    };
    Call(acComment, 0, 0, "a.bte");
    EXPECT_EQ(Text(), std::string(511, 'c'));
    EXPECT_EQ(Err(), 1);
    EXPECT_EQ(Size(), 511);
}

TEST_F(Callback, PasswordRequests)
{
    // Cancel in the prompt: nothing to try, no further attempts.
    Call(acPassword, 0, 3, "secret.bte");
    EXPECT_EQ(Err(), 0);
    EXPECT_EQ(Size(), 0);
    ASSERT_EQ(desktop.shown.size(), 1u);
    EXPECT_EQ(desktop.shown[0].kind, Shown::Password);
    EXPECT_EQ(desktop.shown[0].caption, "Password");
    EXPECT_EQ(desktop.shown[0].text, "Enter the password:");

    desktop.passwordAnswers.push_back({true, "typed"});
    Call(acPassword, 0, 40, "secret.bte");
    EXPECT_EQ(Text(), "typed");
    EXPECT_EQ(Err(), 1);
    EXPECT_EQ(Size(), 15);
    EXPECT_EQ(zip.GetPassword(), "");

    // Adding asks twice and wants the same text both times.
    desktop.passwordAnswers = {{true, "one"}, {true, "two"}};
    Call(acPassword, 1, 1, "new.bte");
    EXPECT_EQ(Err(), 0);
    EXPECT_EQ(zip.ErrCode, 10104);
    desktop.passwordAnswers = {{true, "same"}, {true, "same"}};
    Call(acPassword, 1, 1, "new.bte");
    EXPECT_EQ(Text(), "same");
    EXPECT_EQ(Err(), 1);

    zip.Unattended = true;
    const size_t shown = desktop.shown.size();
    Call(acPassword, 0, 1, "secret.bte");
    EXPECT_EQ(zip.ErrCode, 10151);
    Call(acPassword, 1, 1, "secret.bte");
    EXPECT_EQ(zip.ErrCode, 10150);
    EXPECT_EQ(Err(), 0);
    EXPECT_EQ(desktop.shown.size(), shown);

    zip.OnPasswordError = [](ZipComponent*, std::string& pw, const std::string& file, uint32_t& count) {
        EXPECT_EQ(file, "secret.bte");
        pw = std::string(100, 'p');
        count = 99;
    };
    Call(acPassword, 0, 1, "secret.bte");
    EXPECT_EQ(Text(), std::string(80, 'p'));
    EXPECT_EQ(Size(), 15);
}

TEST_F(Callback, CancelAsksTheLibraryToStop)
{
    zip.OnProgress = [&](ZipComponent* s, ProgressType, const std::string&, int32_t) { s->Cancel = true; };
    EXPECT_EQ(Call(acFileStart, 0, 1, "a.bte"), -1);
    EXPECT_EQ(Call(acProgress, 0, 1, ""), -1);
}

}  // namespace
