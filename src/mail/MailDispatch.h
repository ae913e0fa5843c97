#pragma once
// Mail dispatch: a pre-filled compose window of the user's mail client through the simple mail
// interface ("MAPI32.DLL", loaded once per process and kept).
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace mail {

// Ordered name=value entries; names match without regard to letter case, a value is the text
// after the first "=", and an entry whose value would be empty is not stored.
class MailParams {
public:
    void Add(std::string_view nameValue);
    // The value of a name, or nothing when absent.
    std::optional<std::string> Value(std::string_view name) const;

private:
    std::vector<std::string> entries_;
};

// Logon, one compose dialog with subject, body and attachments, logoff. Returns the send
// call's result, or 0 when the logon failed (after "Error while trying to send email").
int SendMailMessage(const MailParams& params);

// Finds the mail interface and loads its library; only the first call does anything.
void LoadMailLibrary();

}  // namespace mail
