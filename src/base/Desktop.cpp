#include "Desktop.h"

#include <stdexcept>

namespace base {

namespace {
Desktop* g_desktop = nullptr;
}

Desktop& TheDesktop()
{
    if (!g_desktop)
        throw std::logic_error("no desktop installed");
    return *g_desktop;
}

void SetDesktop(Desktop* desktop) { g_desktop = desktop; }

std::string ErrorBoxText(const std::string& message)
{
    if (!message.empty() && static_cast<unsigned char>(message.back()) > '.')
        return message + ".";
    return message;
}

void ReportException(const std::exception& e)
{
    if (g_desktop)
        g_desktop->ShowError(ErrorBoxText(e.what()));
}

}  // namespace base
