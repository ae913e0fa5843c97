// A bench-only command-line program that does what turnex does when it packs a battle, unpacks a
// zip archive or unpacks an ACE archive: the zip component with the real libraries it loads, or the
// ACE front end with the library it loads, set up as the program sets them up. The benchmarks time
// it as a whole process against the command-line tools, start to exit.
//   archive_driver pack ARCHIVE FILE     add FILE to ARCHIVE at level 9 (as Pack battle does)
//   archive_driver unpack ARCHIVE DIR    extract every member into DIR, overwriting
//   archive_driver ace ARCHIVE DIR       extract an ACE archive into DIR
// Messages go to standard error; the exit status is 0 when something was packed or unpacked.
#include "archive/AceExtraction.h"
#include "archive/ZipComponent.h"
#include "base/Desktop.h"
#include "ops/TurnZip.h"

#include <cstdio>
#include <optional>
#include <string>

namespace {

// Every question is answered as an unattended run would; every message is printed.
class ConsoleDesktop : public base::Desktop {
public:
    int shown = 0;
    std::string lastCaption;
    void ShowMessage(const std::string& text) override { Print(text); }
    int MessageBox(const std::string& text, const std::string& caption, unsigned) override
    {
        lastCaption = caption;
        Print(text);
        return base::IDOK;
    }
    bool InputQuery(const std::string&, const std::string&, std::string&, int) override { return false; }
    std::optional<std::string> BrowseForFolder(const std::string&) override { return std::nullopt; }
    void ShowHelp(const std::string&) override {}
    std::string StartProgram(const std::string&, const std::string&) override { return "not here"; }
    void ShowError(const std::string& text) override { Print(text); }

private:
    void Print(const std::string& text)
    {
        ++shown;
        std::fprintf(stderr, "%s\n", text.c_str());
    }
};

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 4) {
        std::fprintf(stderr, "usage: %s pack|unpack|ace ARCHIVE FILE-OR-FOLDER\n", argv[0]);
        return 2;
    }
    const std::string mode = argv[1], archive = argv[2], target = argv[3];
    ConsoleDesktop desktop;
    base::SetDesktop(&desktop);
    if (mode == "ace") {
        archive::ExtractAceArchive(archive, target);
        return desktop.lastCaption == "Success" ? 0 : 1;
    }
    ZipComponent zip;
    ops::SetUpTurnZip(zip);  // the settings the program gives its component
    zip.OnMessage = [](ZipComponent*, int32_t, const std::string& text) { std::fprintf(stderr, "%s\n", text.c_str()); };
    zip.SetZipFileName(archive);
    if (mode == "pack") {
        zip.FSpecArgs.push_back(target);
        zip.Add();
    } else if (mode == "unpack") {
        if (zip.GetZipFileName().empty())
            return 1;
        zip.ExtrBaseDir = target;
        zip.Extract();
    } else {
        return 2;
    }
    return zip.SuccessCount > 0 ? 0 : 1;
}
