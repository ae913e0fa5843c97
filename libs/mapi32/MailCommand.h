#pragma once
// The command line that opens the user's mail client with a pre-filled message. Every command
// is one argument vector run without a shell, so no text of the message is ever interpreted.
#include <string>
#include <string_view>
#include <vector>

namespace mapi32 {

// A message as the mail clients take it: UTF-8 texts, "\n" line breaks, absolute native paths.
struct Composition {
    std::string subject;
    std::string body;
    std::vector<std::string> attachments;
};

// xdg-email hands attachments on in a mailto link, which most clients drop; these clients take
// them on their own command line.
enum class MailClient { XdgEmail, Thunderbird, KMail, ClawsMail, Evolution };

// The client a mailto handler's desktop file stands for ("org.kde.kmail2.desktop" -> KMail).
MailClient ClientOfHandler(std::string_view desktopFile);
// The program to look for on the PATH.
const char* ClientProgram(MailClient client);

std::vector<std::string> ComposeCommand(MailClient client, const std::string& program, const Composition& mail);

// Every byte but the unreserved URI characters as %XX; a line break as %0D%0A (mailto rules).
std::string MailtoEncode(std::string_view text);
// CR LF and lone CR become "\n".
std::string UnixLineBreaks(std::string_view text);

}  // namespace mapi32
