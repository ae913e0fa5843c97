// Mail dispatch from the front end through the real libmapi32.so to a stand-in mail client.
#include "FakePrograms.h"
#include "support/ScriptedDesktop.h"
#include "support/TempDir.h"
#include "mail/MailDispatch.h"
#include "base/Paths.h"
#include "ui/QtDesktop.h"

#include <QWidget>

#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <memory>

namespace {

using Args = std::vector<std::string>;

const std::string kBody = "Mail from Turnmail Manager\r\nGood Luck";
// xdg-email puts the CR back in front of every line break itself.
const std::string kBodyHandedOn = "Mail from Turnmail Manager\nGood Luck";

class MailTest : public ::testing::Test {
protected:
    // The installation check runs once per process, so the stand-ins are on the PATH before the
    // first mail call of any test and stay there.
    static void SetUpTestSuite()
    {
        if (!programs_) {
            programs_ = new FakePrograms;
            programs_->PutFirstOnPath();
        }
    }
    void SetUp() override
    {
        programs_->Clear();
        programs_->Write("xdg-email");
    }
    // The folder stays on the PATH for the other suites of this program: empty.
    void TearDown() override { programs_->Clear(); }

    // Sends what the main window sends: subject, one attachment, the two-line body.
    int Send(const std::string& subject, const std::string& path)
    {
        mail::MailParams params;
        params.Add("subject=" + subject);
        params.Add("attachment0=" + path);
        params.Add("body=" + kBody);
        return mail::SendMailMessage(params);
    }
    std::string MakeFile(const std::string& name)
    {
        std::string path = files_ / name;
        TempDir::Write(path, "PK\x05\x06");
        return path;
    }

    static FakePrograms* programs_;
    ScriptedDesktop desktop_;
    TempDir files_;
    ScopedEnv mailer_ {"MAILER", "stand-in-mailer"};
};

FakePrograms* MailTest::programs_ = nullptr;

TEST(MailParams, NamesValuesAndEmptyEntries)
{
    mail::MailParams params;
    params.Add("Subject=Bulge, turn 3");
    params.Add("body=a=b");
    params.Add("attachment0=");  // empty: not stored
    params.Add("noequals");
    params.Add("SUBJECT=second");
    EXPECT_EQ(params.Value("subject"), "Bulge, turn 3");
    EXPECT_EQ(params.Value("sUbJeCt"), "Bulge, turn 3");
    EXPECT_EQ(params.Value("body"), "a=b");
    EXPECT_FALSE(params.Value("attachment0"));
    EXPECT_FALSE(params.Value("noequals"));
    EXPECT_FALSE(params.Value("sub"));
}

TEST_F(MailTest, HandsSubjectBodyAndAttachmentToXdgEmailWithoutRecipient)
{
    std::string path = MakeFile("Turn07.zip");
    EXPECT_EQ(Send("Turn07.zip", path), 0);

    EXPECT_EQ(programs_->Args("xdg-email"),
              (Args {"--utf8", "--subject", "Turn07.zip", "--body", kBodyHandedOn, "--attach", path}));
    EXPECT_TRUE(desktop_.shown.empty());
    EXPECT_EQ(desktop_.windowsEnabled, (std::vector<bool> {false, true}));
}

TEST_F(MailTest, DriveLetterPathAndWindowsTextsArriveNative)
{
    TempDir prefix;
    ScopedWinePrefix wine(prefix.path());
    TempDir::Write(prefix / "drive_c/Out/Turn07.zip", "PK\x05\x06");

    // "Opération" in Windows-1252.
    EXPECT_EQ(Send("Op\xE9ration Husky", "c:\\Out\\\\Turn07.zip"), 0);

    auto args = programs_->Args("xdg-email");
    ASSERT_TRUE(args);
    ASSERT_EQ(args->size(), 7u);
    EXPECT_EQ((*args)[2], "Op\xC3\xA9ration Husky");
    EXPECT_EQ((*args)[6], std::filesystem::canonical(prefix / "drive_c/Out/Turn07.zip").string());
    // The attachment is offered under its file name alone.
    EXPECT_EQ(base::ExtractFileName((*args)[6]), "Turn07.zip");
}

TEST_F(MailTest, DriveMappedThroughThePrefixArrivesAsTheRealFileNotTheDriveLink)
{
    TempDir prefix, mailDrive;
    ScopedWinePrefix wine(prefix.path());
    std::filesystem::create_directories(prefix / "dosdevices");
    std::filesystem::create_directory_symlink(mailDrive.path(), prefix / "dosdevices/d:");
    TempDir::Write(mailDrive / "Mail/Out/Turn07.zip", "PK\x05\x06");
    const std::string real = std::filesystem::canonical(mailDrive / "Mail/Out/Turn07.zip").string();

    // The outgoing folder as Options stores it, with the backslash the request adds.
    EXPECT_EQ(Send("Turn07.zip", "D:\\Mail\\Out\\Turn07.zip"), 0);
    EXPECT_EQ(programs_->Args("xdg-email"),
              (Args {"--utf8", "--subject", "Turn07.zip", "--body", kBodyHandedOn, "--attach", real}));

    // A client that takes the attachment as a file link gets the real file too.
    ScopedEnv noMailer("MAILER", nullptr);
    programs_->WriteMailtoHandler("org.mozilla.Thunderbird.desktop");
    programs_->Write("thunderbird");
    EXPECT_EQ(Send("Turn07.zip", "D:\\Mail\\Out\\Turn07.zip"), 0);
    auto args = programs_->Args("thunderbird");
    ASSERT_TRUE(args);
    ASSERT_EQ(args->size(), 2u);
    EXPECT_EQ((*args)[1].find("dosdevices"), std::string::npos) << (*args)[1];
    EXPECT_NE((*args)[1].find("/Mail/Out/Turn07.zip'"), std::string::npos) << (*args)[1];
    EXPECT_TRUE(desktop_.shown.empty());
}

TEST_F(MailTest, QuotesSpacesLineBreaksAndDashesArriveIntact)
{
    const std::string subject = "--to=eve@example.com \"q\" 'x' $HOME `id` ; &";
    std::string path = MakeFile("-dash 'q' \"d\" $x;.zip");
    mail::MailParams params;
    params.Add("subject=" + subject);
    params.Add("attachment0=" + path);
    params.Add("body=-n\r\n'; rm -rf ~ \"\r\n\r\nend");
    EXPECT_EQ(mail::SendMailMessage(params), 0);

    EXPECT_EQ(programs_->Args("xdg-email"),
              (Args {"--utf8", "--subject", subject, "--body", "-n\n'; rm -rf ~ \"\n\nend", "--attach", path}));
}

TEST_F(MailTest, AttachmentsCountedUntilTheFirstGapAndTextsOnlyWhenPresent)
{
    std::string a = MakeFile("a.zip"), b = MakeFile("b.bte"), c = MakeFile("c.zip");
    mail::MailParams params;
    params.Add("attachment0=" + a);
    params.Add("ATTACHMENT1=" + b);
    params.Add("attachment3=" + c);  // after the gap: not attached
    params.Add("subject=");
    EXPECT_EQ(mail::SendMailMessage(params), 0);

    EXPECT_EQ(programs_->Args("xdg-email"), (Args {"--utf8", "--attach", a, "--attach", b}));
}

TEST_F(MailTest, NoMailClientConfiguredShowsTheErrorAtEveryClick)
{
    ScopedEnv noMailer("MAILER", nullptr);
    programs_->WriteMailtoHandler("");

    EXPECT_EQ(Send("Turn07.zip", MakeFile("Turn07.zip")), 0);
    EXPECT_EQ(Send("Turn07.zip", MakeFile("Turn07.zip")), 0);

    ASSERT_EQ(desktop_.shown.size(), 2u);
    for (const auto& shown : desktop_.shown) {
        EXPECT_EQ(shown.kind, Shown::Box);
        EXPECT_EQ(shown.text, "Error while trying to send email");
        EXPECT_EQ(shown.caption, "Error");
        EXPECT_EQ(shown.flags, base::MB_OK | base::MB_ICONSTOP);
    }
    EXPECT_FALSE(programs_->Args("xdg-email"));
    EXPECT_TRUE(desktop_.windowsEnabled.empty());
}

TEST_F(MailTest, FailedSendIsNotShownAndWindowsComeBack)
{
    programs_->Write("xdg-email", 3);
    EXPECT_NE(Send("Turn07.zip", MakeFile("Turn07.zip")), 0);
    EXPECT_TRUE(desktop_.shown.empty());
    EXPECT_EQ(desktop_.windowsEnabled, (std::vector<bool> {false, true}));

    // An attachment that is gone: no client is started at all.
    programs_->Clear();
    programs_->Write("xdg-email");
    EXPECT_NE(Send("Turn07.zip", files_ / "gone.zip"), 0);
    EXPECT_FALSE(programs_->Args("xdg-email"));
    EXPECT_TRUE(desktop_.shown.empty());
    EXPECT_EQ(desktop_.windowsEnabled, (std::vector<bool> {false, true, false, true}));
}

// Notes, at each change, whether the mail client had run yet.
class WatchingDesktop : public ScriptedDesktop {
public:
    explicit WatchingDesktop(std::string record) : record_(std::move(record)) {}
    void EnableWindows(bool enabled) override
    {
        ScriptedDesktop::EnableWindows(enabled);
        clientHadRun.push_back(std::filesystem::exists(record_));
    }
    std::vector<bool> clientHadRun;

private:
    std::string record_;
};

TEST_F(MailTest, WindowsAreDisabledWhileTheClientRuns)
{
    WatchingDesktop watching(*programs_ / "xdg-email.args");
    Send("Turn07.zip", MakeFile("Turn07.zip"));
    EXPECT_EQ(watching.windowsEnabled, (std::vector<bool> {false, true}));
    EXPECT_EQ(watching.clientHadRun, (std::vector<bool> {false, true}));
}

TEST_F(MailTest, ClientStillRunningCountsAsSuccessAndKeepsRunning)
{
    // Some clients keep xdg-email waiting until they quit.
    programs_->Write("xdg-email", 0, "echo $$ > '" + *programs_ / "pid" + "'\nexec sleep 30 >/dev/null 2>&1");
    EXPECT_EQ(Send("Turn07.zip", MakeFile("Turn07.zip")), 0);

    pid_t pid = std::stoi(TempDir::Read(*programs_ / "pid"));
    EXPECT_EQ(kill(pid, 0), 0) << "the mail client was stopped";
    kill(pid, SIGTERM);
    EXPECT_EQ(desktop_.windowsEnabled, (std::vector<bool> {false, true}));
}

TEST(QtDesktopWindows, DisablesEveryWindowAndEnablesOnlyThose)
{
    ui::QtDesktop desktop;
    auto main = std::make_unique<QWidget>();
    auto hidden = std::make_unique<QWidget>();
    auto alreadyDisabled = std::make_unique<QWidget>();
    main->show();
    alreadyDisabled->setEnabled(false);

    desktop.EnableWindows(false);
    EXPECT_FALSE(main->isEnabled());
    EXPECT_FALSE(hidden->isEnabled());

    hidden.reset();  // a window closed meanwhile
    desktop.EnableWindows(true);
    EXPECT_TRUE(main->isEnabled());
    EXPECT_FALSE(alreadyDisabled->isEnabled());
}

}  // namespace
