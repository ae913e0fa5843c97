#include "archive/WorkProgress.h"

namespace archive {

namespace {

// Names come from the archive: control characters would break the lines of the message.
std::string Printable(std::string text)
{
    for (char& c : text)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F)
            c = '?';
    return text;
}

}  // namespace

std::string CancelledUnpackText(const std::string& archiveName, const std::vector<std::string>& arrived)
{
    std::string text = "Decompress of \"" + Printable(archiveName) + "\" was cancelled.";
    if (arrived.empty())
        return text + " No file was unpacked: the game directory is as it was.";
    text += arrived.size() == 1 ? " This file had been unpacked and stays in the game directory:"
                                : " These " + std::to_string(arrived.size()) +
                                      " files had been unpacked and stay in the game directory:";
    // As many lines as a box can show; the rest are counted.
    constexpr size_t kListed = 20;
    const size_t listed = arrived.size() > kListed + 1 ? kListed : arrived.size();
    for (size_t i = 0; i < listed; ++i)
        text += "\n    " + Printable(arrived[i]);
    if (listed < arrived.size())
        text += "\n    ... and " + std::to_string(arrived.size() - listed) + " more.";
    return text;
}

}  // namespace archive
