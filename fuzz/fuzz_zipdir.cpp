// Any file contents as a zip archive: the central directory reader must end every failure in a
// report and an empty name, never read past what it holds, never hang.
#include "archive/ZipComponent.h"
#include "base/Desktop.h"
#include "FuzzScratch.h"

#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>

namespace {

class QuietDesktop : public base::Desktop {
public:
    void ShowMessage(const std::string&) override { ++shown; }
    int MessageBox(const std::string&, const std::string&, unsigned) override { return base::IDOK; }
    bool InputQuery(const std::string&, const std::string&, std::string&, int) override { return false; }
    std::optional<std::string> BrowseForFolder(const std::string&) override { return std::nullopt; }
    void ShowHelp(const std::string&) override {}
    std::string StartProgram(const std::string&, const std::string&) override { return {}; }
    void ShowError(const std::string&) override {}
    int shown = 0;
};

const std::string& File()
{
    static std::string file = MakeScratchDir("turnex-fuzz-zip") + "/a.zip";
    return file;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static QuietDesktop desktop;
    base::SetDesktop(&desktop);
    if (FILE* f = std::fopen(File().c_str(), "wb")) {
        std::fwrite(data, 1, size, f);
        std::fclose(f);
    }
    ZipComponent zip;
    int updates = 0;
    zip.OnDirUpdate = [&](ZipComponent*) { ++updates; };
    desktop.shown = 0;
    zip.SetZipFileName(File());
    if (updates != 1)
        std::abort();
    if (zip.GetZipFileName().empty()) {
        // A failed read always says why.
        if (zip.Message.empty() || desktop.shown == 0 || zip.Count() != 0 || zip.FirstLocalOffset != 0)
            std::abort();
    } else {
        if (zip.Count() != static_cast<int32_t>(zip.DirEntries.size()))
            std::abort();
        for (const auto& e : zip.DirEntries) {
            // A name read from the OEM page becomes UTF-8: one to three bytes a character.
            if (e.FileName.size() < e.FileNameLength || e.FileName.size() > 3u * e.FileNameLength)
                std::abort();
            if (e.ExtraFieldLength ? e.ExtraData.size() != e.ExtraFieldLength + 1u : !e.ExtraData.empty())
                std::abort();
        }
    }
    return 0;
}
