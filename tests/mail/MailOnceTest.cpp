// The installation check runs once per process: a test program of its own, whose first mail
// call finds no xdg-email on the PATH.
#include "FakePrograms.h"
#include "support/ScriptedDesktop.h"
#include "support/TempDir.h"
#include "mail/MailDispatch.h"

#include <gtest/gtest.h>

namespace {

TEST(MailNotInstalled, EveryClickShowsTheErrorAndTheCheckIsNotRepeated)
{
    FakePrograms programs;
    programs.UseOnlyThisFolder();
    ScopedEnv mailer("MAILER", "stand-in-mailer");
    ScriptedDesktop desktop;
    TempDir files;
    TempDir::Write(files / "Turn07.zip", "PK\x05\x06");
    mail::MailParams params;
    params.Add("subject=Turn07.zip");
    params.Add("attachment0=" + files / "Turn07.zip");
    params.Add("body=Mail from Turnmail Manager\r\nGood Luck");

    EXPECT_EQ(mail::SendMailMessage(params), 0);
    EXPECT_EQ(mail::SendMailMessage(params), 0);
    // Installed while the program runs: used only after a restart.
    programs.Write("xdg-email");
    EXPECT_EQ(mail::SendMailMessage(params), 0);

    ASSERT_EQ(desktop.shown.size(), 3u);
    for (const auto& shown : desktop.shown) {
        EXPECT_EQ(shown.kind, Shown::Box);
        EXPECT_EQ(shown.text, "Error while trying to send email");
        EXPECT_EQ(shown.caption, "Error");
        EXPECT_EQ(shown.flags, base::MB_OK | base::MB_ICONSTOP);
    }
    EXPECT_FALSE(programs.Args("xdg-email"));
    EXPECT_TRUE(desktop.windowsEnabled.empty());
}

}  // namespace
