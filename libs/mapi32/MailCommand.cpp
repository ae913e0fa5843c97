#include "MailCommand.h"

#include <cctype>

namespace mapi32 {

namespace {

// Every byte but the unreserved URI characters (and "/" when kept) as %XX.
std::string PercentEncode(std::string_view text, bool keepSlash)
{
    static const char hex[] = "0123456789ABCDEF";
    std::string out;
    for (char ch : text) {
        auto c = static_cast<unsigned char>(ch);
        if (std::isalnum(c) || c == '-' || c == '.' || c == '_' || c == '~' || (keepSlash && c == '/')) {
            out += ch;
        } else {
            out += '%';
            out += hex[c >> 4];
            out += hex[c & 15];
        }
    }
    return out;
}

bool Contains(const std::string& haystack, std::string_view needle)
{
    return haystack.find(needle) != std::string::npos;
}

// The mailto query with subject and body, and attach= entries when wanted.
std::string MailtoLink(const Composition& mail, bool withAttachments)
{
    std::string query;
    auto add = [&query](const char* name, const std::string& value) {
        query += query.empty() ? "?" : "&";
        query += name;
        query += "=";
        query += MailtoEncode(value);
    };
    if (!mail.subject.empty())
        add("subject", mail.subject);
    if (!mail.body.empty())
        add("body", mail.body);
    if (withAttachments)
        for (const auto& path : mail.attachments)
            add("attach", path);
    return "mailto:" + query;
}

}  // namespace

std::string UnixLineBreaks(std::string_view text)
{
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\r') {
            out += '\n';
            if (i + 1 < text.size() && text[i + 1] == '\n')
                ++i;
        } else {
            out += text[i];
        }
    }
    return out;
}

std::string MailtoEncode(std::string_view text)
{
    std::string out;
    size_t start = 0;
    for (size_t nl = text.find('\n'); nl != std::string_view::npos; nl = text.find('\n', start)) {
        out += PercentEncode(text.substr(start, nl - start), false) + "%0D%0A";
        start = nl + 1;
    }
    return out + PercentEncode(text.substr(start), false);
}

MailClient ClientOfHandler(std::string_view desktopFile)
{
    std::string name;
    for (char c : desktopFile)
        name += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (Contains(name, "thunderbird"))
        return MailClient::Thunderbird;
    if (Contains(name, "kmail"))
        return MailClient::KMail;
    if (Contains(name, "claws-mail"))
        return MailClient::ClawsMail;
    if (Contains(name, "evolution"))
        return MailClient::Evolution;
    return MailClient::XdgEmail;
}

const char* ClientProgram(MailClient client)
{
    switch (client) {
    case MailClient::Thunderbird: return "thunderbird";
    case MailClient::KMail: return "kmail";
    case MailClient::ClawsMail: return "claws-mail";
    case MailClient::Evolution: return "evolution";
    case MailClient::XdgEmail: break;
    }
    return "xdg-email";
}

std::vector<std::string> ComposeCommand(MailClient client, const std::string& program, const Composition& mail)
{
    std::vector<std::string> argv {program};
    switch (client) {
    case MailClient::XdgEmail:
        // The texts are UTF-8 already; xdg-email adds the CR to every line break itself.
        argv.push_back("--utf8");
        if (!mail.subject.empty())
            argv.insert(argv.end(), {"--subject", mail.subject});
        if (!mail.body.empty())
            argv.insert(argv.end(), {"--body", mail.body});
        for (const auto& path : mail.attachments)
            argv.insert(argv.end(), {"--attach", path});
        break;
    case MailClient::Thunderbird: {
        // Percent-encoded values and file URLs hold neither commas nor quotes, which would
        // end a field of the -compose list.
        std::string fields;
        auto add = [&fields](const std::string& field) { fields += (fields.empty() ? "" : ",") + field; };
        if (!mail.subject.empty())
            add("subject=" + MailtoEncode(mail.subject));
        if (!mail.body.empty())
            add("body=" + MailtoEncode(mail.body));
        std::string urls;
        for (const auto& path : mail.attachments) {
            urls += (urls.empty() ? "file://" : ",file://") + PercentEncode(path, true);
        }
        if (!urls.empty())
            add("attachment='" + urls + "'");
        argv.insert(argv.end(), {"-compose", fields});
        break;
    }
    case MailClient::KMail:
        // The "--name=value" form keeps a value with a leading dash from reading as an option.
        if (!mail.subject.empty())
            argv.push_back("--subject=" + mail.subject);
        if (!mail.body.empty())
            argv.push_back("--body=" + mail.body);
        for (const auto& path : mail.attachments)
            argv.push_back("--attach=" + path);
        break;
    case MailClient::ClawsMail:
        argv.insert(argv.end(), {"--compose", MailtoLink(mail, false)});
        if (!mail.attachments.empty()) {
            argv.push_back("--attach");
            argv.insert(argv.end(), mail.attachments.begin(), mail.attachments.end());
        }
        break;
    case MailClient::Evolution: argv.push_back(MailtoLink(mail, true)); break;
    }
    return argv;
}

}  // namespace mapi32
