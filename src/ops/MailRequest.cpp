#include "ops/MailRequest.h"

namespace ops {

mail::MailParams MailRequestFor(app::ConfigState& config, Tab tab, const std::string& name,
                                const std::string& shownText)
{
    std::string subject = shownText;
    std::string attachment;
    if (const auto archives = ArchiveDirOf(tab)) {
        app::EnsureTrailingBackslash(config, *archives);
        subject = name;
        attachment = config.Current().ArchiveDirectory(*archives) + name;
    } else {
        attachment = JoinPath(config.GameDir, name);
    }
    mail::MailParams params;
    params.Add("subject=" + subject);
    params.Add("attachment0=" + attachment);
    params.Add(std::string("body=") + kMailBody);
    return params;
}

int SendByMail(app::ConfigState& config, Tab tab, const std::string& name, const std::string& shownText)
{
    return mail::SendMailMessage(MailRequestFor(config, tab, name, shownText));
}

}  // namespace ops
