#pragma once
// Send mail: the mail client's compose window with the selected file attached.
#include "mail/MailDispatch.h"
#include "ops/Tab.h"

#include <string>

namespace ops {

inline constexpr const char* kMailBody = "Mail from Turnmail Manager\r\nGood Luck";

// Subject, one attachment and the two-line body. On "Battles" the battle file itself goes, under
// the title the list shows (shownText); on the archive tabs the archive goes under its own name,
// and the tab's folder gains its trailing backslash in memory.
mail::MailParams MailRequestFor(app::ConfigState& config, Tab tab, const std::string& name,
                                const std::string& shownText);

// Hands the request to the mail client; what the send call answers, which nobody reads.
int SendByMail(app::ConfigState& config, Tab tab, const std::string& name, const std::string& shownText);

}  // namespace ops
