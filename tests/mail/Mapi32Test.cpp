// libmapi32.so through its C entry points, loaded the way the program loads it, in front of
// stand-in mail clients (and once in front of the real xdg-email).
#include "FakePrograms.h"
#include "support/TempDir.h"
#include "turnex/mapi.h"
#include "base/DynLib.h"
#include "base/Paths.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace {

using Args = std::vector<std::string>;

class Mapi32Test : public ::testing::Test {
protected:
    void SetUp() override
    {
        lib_ = base::LoadLibrary("MAPI32.DLL");
        ASSERT_TRUE(lib_) << "libmapi32.so is not beside the test";
        logon_ = reinterpret_cast<MapiLogonFn>(base::GetProcAddress(lib_, "MAPILogon"));
        send_ = reinterpret_cast<MapiSendMailFn>(base::GetProcAddress(lib_, "MAPISendMail"));
        logoff_ = reinterpret_cast<MapiLogoffFn>(base::GetProcAddress(lib_, "MAPILogoff"));
        ASSERT_TRUE(logon_ && send_ && logoff_);
        programs_.PutFirstOnPath();
        programs_.Write("xdg-email");
        attachment_ = files_ / "Turn 7.zip";
        TempDir::Write(attachment_, "PK\x05\x06");
    }
    void TearDown() override { base::FreeLibrary(lib_); }

    // Logon, one message with subject "Turn 7", the two-line body and the attachment, logoff.
    MapiUlong SendTurn()
    {
        MapiHandle session = 0;
        MapiUlong rc = logon_(0, empty_, empty_, MAPI_LOGON_UI | MAPI_NEW_SESSION, 0, &session);
        if (rc != SUCCESS_SUCCESS)
            return rc;
        std::string subject = "Turn 7", body = "Mail from Turnmail Manager\r\nGood Luck", name = "Turn 7.zip";
        MapiFileDesc file {0, 0, 0xFFFFFFFFu, attachment_.data(), name.data(), nullptr};
        MapiMessage message {};
        message.lpszSubject = subject.data();
        message.lpszNoteText = body.data();
        message.nFileCount = 1;
        message.lpFiles = &file;
        rc = send_(session, 0, &message, MAPI_DIALOG, 0);
        EXPECT_EQ(logoff_(session, 0, 0, 0), SUCCESS_SUCCESS);
        return rc;
    }

    base::LibHandle lib_ = nullptr;
    MapiLogonFn logon_ = nullptr;
    MapiSendMailFn send_ = nullptr;
    MapiLogoffFn logoff_ = nullptr;
    char empty_[1] = "";
    FakePrograms programs_;
    TempDir files_;
    std::string attachment_;
    ScopedEnv mailer_ {"MAILER", nullptr};
};

TEST_F(Mapi32Test, ClientsThatTakeAttachmentsGetTheirOwnCommandLine)
{
    const std::string encodedBody = "Mail%20from%20Turnmail%20Manager%0D%0AGood%20Luck";
    const std::string plainBody = "Mail from Turnmail Manager\nGood Luck";
    std::string fileUrl = "file://" + files_.path() + "/Turn%207.zip";
    std::string encodedPath;
    for (char c : attachment_)
        encodedPath += c == '/' ? std::string("%2F") : c == ' ' ? std::string("%20") : std::string(1, c);

    struct Case {
        const char* handler;
        const char* program;
        Args expected;
    } cases[] = {
        {"org.mozilla.Thunderbird.desktop",
         "thunderbird",
         {"-compose", "subject=Turn%207,body=" + encodedBody + ",attachment='" + fileUrl + "'"}},
        {"org.kde.kmail2.desktop", "kmail", {"--subject=Turn 7", "--body=" + plainBody, "--attach=" + attachment_}},
        {"claws-mail.desktop",
         "claws-mail",
         {"--compose", "mailto:?subject=Turn%207&body=" + encodedBody, "--attach", attachment_}},
        {"org.gnome.Evolution.desktop",
         "evolution",
         {"mailto:?subject=Turn%207&body=" + encodedBody + "&attach=" + encodedPath}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.handler);
        programs_.Clear();
        programs_.Write("xdg-email");
        programs_.WriteMailtoHandler(c.handler);
        programs_.Write(c.program);
        EXPECT_EQ(SendTurn(), SUCCESS_SUCCESS);
        EXPECT_EQ(programs_.Args(c.program), c.expected);
        EXPECT_FALSE(programs_.Args("xdg-email"));
    }
}

TEST_F(Mapi32Test, OtherClientsAndMailerGoThroughXdgEmail)
{
    const Args expected {"--utf8",   "--subject", "Turn 7", "--body", "Mail from Turnmail Manager\nGood Luck",
                         "--attach", attachment_};
    programs_.WriteMailtoHandler("mutt.desktop");
    EXPECT_EQ(SendTurn(), SUCCESS_SUCCESS);
    EXPECT_EQ(programs_.Args("xdg-email"), expected);

    // A client of the list whose program is not on the PATH.
    programs_.Clear();
    programs_.Write("xdg-email");
    programs_.WriteMailtoHandler("org.kde.kmail2.desktop");
    programs_.UseOnlyThisFolder();
    EXPECT_EQ(SendTurn(), SUCCESS_SUCCESS);
    EXPECT_EQ(programs_.Args("xdg-email"), expected);
    programs_.PutFirstOnPath();

    // $MAILER is the user's own choice: the mailto handler is not even asked.
    programs_.Clear();
    programs_.Write("xdg-email");
    programs_.WriteMailtoHandler("org.mozilla.Thunderbird.desktop");
    programs_.Write("thunderbird");
    ScopedEnv mailer("MAILER", "stand-in-mailer");
    EXPECT_EQ(SendTurn(), SUCCESS_SUCCESS);
    EXPECT_EQ(programs_.Args("xdg-email"), expected);
    EXPECT_FALSE(programs_.Args("xdg-mime"));
    EXPECT_FALSE(programs_.Args("thunderbird"));
}

TEST_F(Mapi32Test, LogonNeedsXdgEmailAndAMailClient)
{
    MapiHandle session = 7;
    programs_.WriteMailtoHandler("");
    EXPECT_EQ(logon_(0, empty_, empty_, 3, 0, &session), MAPI_E_LOGIN_FAILURE);
    EXPECT_EQ(session, 0u);

    programs_.WriteMailtoHandler("claws-mail.desktop");
    programs_.UseOnlyThisFolder();
    std::filesystem::remove(programs_ / "xdg-email");
    EXPECT_EQ(logon_(0, empty_, empty_, 3, 0, &session), MAPI_E_LOGIN_FAILURE);

    programs_.Write("xdg-email");
    ASSERT_EQ(logon_(0, empty_, empty_, 3, 0, &session), SUCCESS_SUCCESS);
    EXPECT_EQ(logoff_(session, 0, 0, 0), SUCCESS_SUCCESS);
    // A session that is gone is refused, not used.
    MapiMessage message {};
    EXPECT_EQ(send_(session, 0, &message, MAPI_DIALOG, 0), MAPI_E_INVALID_SESSION);
    EXPECT_EQ(logoff_(session, 0, 0, 0), MAPI_E_INVALID_SESSION);
}

TEST_F(Mapi32Test, RealXdgEmailHandsTheMessageToTheMailer)
{
    std::filesystem::remove(programs_ / "xdg-email");
    bool found = false;
    std::string path = std::getenv("PATH");
    for (size_t start = 0, end = 0; end != std::string::npos; start = end + 1) {
        end = path.find(':', start);
        found = found || std::filesystem::exists(path.substr(start, end - start) + "/xdg-email");
    }
    if (!found)
        GTEST_SKIP() << "xdg-email (xdg-utils) is not installed";
    programs_.Write("mailer");
    ScopedEnv mailer("MAILER", (programs_ / "mailer").c_str());

    EXPECT_EQ(SendTurn(), SUCCESS_SUCCESS);
    auto args = programs_.Args("mailer");
    ASSERT_TRUE(args);
    ASSERT_EQ(args->size(), 1u);
    std::string encodedPath;
    for (char c : attachment_)
        encodedPath += c == ' ' ? std::string("%20") : std::string(1, c);
    EXPECT_EQ((*args)[0],
              "mailto:?subject=Turn%207&body=Mail%20from%20Turnmail%20Manager%0D%0AGood%20Luck&attach=" + encodedPath);
}

}  // namespace
