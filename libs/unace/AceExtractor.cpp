#include "AceExtractor.h"

#include "AceDecoder.h"
#include "base/CaseFold.h"
#include "base/CodePage.h"
#include "base/ExtractionFolder.h"
#include "base/Files.h"

#include <algorithm>
#include <cctype>
#include <memory>
#include <utility>

namespace ace {

namespace {

std::string Folded(const std::string& name)
{
    std::string out;
    for (char c : name)
        out += c == '\\' ? '/' : static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return out;
}

// The stored name as a message shows it: a control character could break the lines of the box.
std::string ShownName(const std::string& storedName)
{
    std::string name = base::OemToUtf8(storedName);
    for (char& c : name)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F)
            c = '?';
    return name;
}

// What was left out of one extraction, and the result that makes of an extraction that went on.
class Report {
public:
    explicit Report(std::vector<LeftOut>* list) : list_(list) {}

    void Add(const std::string& storedName, const base::Outcome& outcome)
    {
        if (outcome.refusal == base::Refusal::UnsafeName || outcome.refusal == base::Refusal::UnreadableName ||
            outcome.refusal == base::Refusal::ThroughLink)
            unsafe_ = true;
        else
            unwritten_ = true;
        if (list_)
            list_->push_back({ShownName(storedName), base::Describe(outcome)});
    }

    Status Result(Status walked) const
    {
        if (walked != Status::Ok)
            return walked;
        return unsafe_ ? Status::UnsafeName : unwritten_ ? Status::WriteError : Status::Ok;
    }

private:
    std::vector<LeftOut>* list_;
    bool unsafe_ = false;
    bool unwritten_ = false;
};

// Members committed and not yet in place: relative path and stored name.
using Committed = std::vector<std::pair<std::string, std::string>>;

// Writes one file member; its file takes its place (at Finish) only when it decoded with the
// right CRC. A member the folder refuses is reported and the archive goes on; the result is not
// Ok only for data that does not decode.
Status WriteMember(AceDecoder& decoder, const AceArchive& archive, const Member& m, const std::string& rel,
                   base::ExtractionFolder& folder, Report& report, Committed& committed)
{
    base::MemberFile file;
    base::Outcome written = folder.OpenFile(rel, m.origSize, file);
    if (!written) {
        report.Add(m.name, written);
        // A solid archive's later members need this one's bytes in the window.
        if (!archive.IsSolid())
            return Status::Ok;
        return decoder.DecodeMember(m, archive.PackedData(m), [](const uint8_t*, size_t) { return true; });
    }
    const Status s = decoder.DecodeMember(m, archive.PackedData(m), [&](const uint8_t* data, size_t size) {
        if (written)
            written = file.Write(data, size);
        // Without a solid window to keep in step, a member that cannot be written stops here.
        return static_cast<bool>(written) || archive.IsSolid();
    });
    if (!written) {
        report.Add(m.name, written);
        return s == Status::WriteError ? Status::Ok : s;
    }
    if (s != Status::Ok)
        return s;
    if (const base::Outcome outcome = file.Commit({base::UnpackDosDateTime(m.fileTime), std::nullopt}); !outcome) {
        report.Add(m.name, outcome);
        return Status::Ok;
    }
    committed.emplace_back(rel, m.name);
    return Status::Ok;
}

}  // namespace

std::string MemberPath(const std::string& storedName)
{
    // UNC names ("\\server\share") start with a separator and are refused with the absolute ones.
    auto rel = base::ExtractionFolder::CheckName(base::OemToUtf8(storedName));
    return rel ? *rel : std::string();
}

Status ExtractArchive(std::span<const uint8_t> data, const std::string& destDir, const std::vector<std::string>& only,
                      AceDecoder* lent, std::vector<LeftOut>* leftOut)
{
    AceArchive archive;
    if (Status s = archive.Open(data); s != Status::Ok)
        return s;
    if (Status s = archive.CheckExtractable(); s != Status::Ok)
        return s;

    // An archive with one unsafe name is refused whole: it was made to attack.
    std::vector<std::string> paths;
    Report report(leftOut);
    bool unsafe = false;
    for (const auto& m : archive.Members()) {
        paths.push_back(MemberPath(m.name));
        if (paths.back().empty()) {
            report.Add(m.name, {base::Refusal::UnsafeName});
            unsafe = true;
        }
    }
    if (unsafe)
        return Status::UnsafeName;
    base::ExtractionFolder folder(destDir);
    if (!folder.IsOpen())
        return Status::WriteError;

    std::vector<std::string> wanted;
    for (const auto& name : only)
        if (!name.empty())
            wanted.push_back(Folded(name));
    auto selected = [&](const std::string& name) {
        if (wanted.empty())
            return true;
        std::string f = Folded(name);
        return std::find(wanted.begin(), wanted.end(), f) != wanted.end();
    };

    std::unique_ptr<AceDecoder> own;
    if (!lent)
        own = std::make_unique<AceDecoder>();
    AceDecoder& decoder = lent ? *lent : *own;
    decoder.Reset();  // nothing of an earlier archive may be referred to
    const auto& members = archive.Members();
    Committed committed;
    Status walked = Status::Ok;
    for (size_t i = 0; i < members.size() && walked == Status::Ok; ++i) {
        const Member& m = members[i];
        if (!archive.IsSolid())
            decoder.Reset();
        if (!selected(m.name)) {
            // A solid archive's later members need this one's bytes in the window.
            if (archive.IsSolid() && !m.IsDirectory())
                walked = decoder.DecodeMember(m, archive.PackedData(m), [](const uint8_t*, size_t) { return true; });
            continue;
        }
        if (m.IsDirectory()) {
            if (const base::Outcome outcome = folder.MakeFolder(paths[i]); !outcome)
                report.Add(m.name, outcome);
            continue;
        }
        walked = WriteMember(decoder, archive, m, paths[i], folder, report, committed);
    }
    // What decoded before a damaged member is whole, and takes its place as well.
    for (const auto& failed : folder.Finish()) {
        // The folder reports the path as it is on the disk, in the spelling it found there.
        const std::string& rel = failed.first;
        const auto member = std::find_if(committed.rbegin(), committed.rend(),
                                         [&rel](const auto& c) { return base::EqualIgnoringCase(c.first, rel); });
        report.Add(member != committed.rend() ? member->second : rel, failed.second);
    }
    return report.Result(walked);
}

}  // namespace ace
