// Send mail: what the compose window gets for each tab, and the request arriving at a stand-in
// mail client through the real libmapi32.so.
#include "TurnFolders.h"
#include "mail/FakePrograms.h"
#include "ops/MailRequest.h"

#include <gtest/gtest.h>

namespace {

using Args = std::vector<std::string>;

class MailRequestTest : public TurnFolders {
protected:
    // The installation check runs once per process: the stand-ins are on the PATH before the
    // first mail call and stay there.
    static void SetUpTestSuite()
    {
        if (!programs_) {
            programs_ = new FakePrograms;
            programs_->PutFirstOnPath();
        }
    }
    MailRequestTest()
    {
        programs_->Clear();
        programs_->Write("xdg-email");
        TempDir::Write(tmp / "game/turn07.bte", BattleText("1 0", "Battle for the bridge", "0 6", "1"));
        TempDir::Write(tmp / "out/Turn07.zip", "PK\x05\x06");
        TempDir::Write(tmp / "in/Reply.zip", "PK\x05\x06");
    }

    static FakePrograms* programs_;
    ScopedEnv mailer_ {"MAILER", "stand-in-mailer"};
};

FakePrograms* MailRequestTest::programs_ = nullptr;

}  // namespace

TEST_F(MailRequestTest, OnBattlesTheBattleFileGoesUnderItsTitle)
{
    const mail::MailParams request =
        ops::MailRequestFor(config, ops::Tab::Battles, "turn07.bte", "Battle for the bridge");
    EXPECT_EQ(request.Value("subject"), "Battle for the bridge");
    EXPECT_EQ(request.Value("attachment0"), (tmp / "game") + "\\turn07.bte");
    EXPECT_FALSE(request.Value("attachment1"));
    // Two lines, no line break at the end.
    EXPECT_EQ(request.Value("body"), "Mail from Turnmail Manager\r\nGood Luck");
    // The archive folders are left as stored.
    EXPECT_EQ(config.Current().OutgoingDir(), tmp / "out");
    EXPECT_EQ(config.Current().IncomingDir(), tmp / "in");
}

TEST_F(MailRequestTest, OnTheArchiveTabsTheArchiveGoesUnderItsNameAndTheFolderKeepsItsBackslash)
{
    auto request = ops::MailRequestFor(config, ops::Tab::Outgoing, "Turn07.zip", "shown text");
    EXPECT_EQ(request.Value("subject"), "Turn07.zip");
    EXPECT_EQ(request.Value("attachment0"), (tmp / "out") + "\\Turn07.zip");
    EXPECT_EQ(config.Current().OutgoingDir(), (tmp / "out") + "\\");
    EXPECT_EQ(config.Current().IncomingDir(), tmp / "in");

    request = ops::MailRequestFor(config, ops::Tab::Incoming, "Reply.zip", "shown text");
    EXPECT_EQ(request.Value("attachment0"), (tmp / "in") + "\\Reply.zip");
    // A second request does not add another one.
    ops::MailRequestFor(config, ops::Tab::Incoming, "Reply.zip", "shown text");
    EXPECT_EQ(config.Current().IncomingDir(), (tmp / "in") + "\\");
}

TEST_F(MailRequestTest, TheMailClientGetsSubjectBodyAndAttachmentWithoutRecipient)
{
    EXPECT_EQ(ops::SendByMail(config, ops::Tab::Battles, "turn07.bte", "Battle for the bridge"), 0);
    // xdg-email puts the CR back in front of every line break itself.
    EXPECT_EQ(programs_->Args("xdg-email"),
              (Args {"--utf8", "--subject", "Battle for the bridge", "--body", "Mail from Turnmail Manager\nGood Luck",
                     "--attach", tmp / "game/turn07.bte"}));

    EXPECT_EQ(ops::SendByMail(config, ops::Tab::Outgoing, "Turn07.zip", "Turn07.zip"), 0);
    EXPECT_EQ(programs_->Args("xdg-email"),
              (Args {"--utf8", "--subject", "Turn07.zip", "--body", "Mail from Turnmail Manager\nGood Luck", "--attach",
                     tmp / "out/Turn07.zip"}));
    EXPECT_TRUE(desktop.shown.empty());
}
