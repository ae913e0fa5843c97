#include "AceExtractor.h"

#include "AceDecoder.h"
#include "base/CodePage.h"
#include "base/Files.h"
#include "base/MemberWriter.h"
#include "base/SafeNames.h"

#include <algorithm>
#include <cctype>
#include <memory>
#include <sys/stat.h>

namespace ace {

namespace {

std::string Folded(const std::string& name)
{
    std::string out;
    for (char c : name)
        out += c == '\\' ? '/' : static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return out;
}

// Writes one member through the member writer; the target is replaced only when the member
// decoded with the right CRC.
Status WriteMember(AceDecoder& decoder, const AceArchive& archive, const Member& m, const std::string& target)
{
    base::MemberWriter out;
    if (out.Open(target) != base::MemberWriteResult::Ok)
        return Status::WriteError;
    Status s = decoder.DecodeMember(m, archive.PackedData(m), [&out](const uint8_t* data, size_t size) {
        return out.Write(data, size) == base::MemberWriteResult::Ok;
    });
    if (s == Status::Ok &&
        out.Commit({base::UnpackDosDateTime(m.fileTime), std::nullopt}) != base::MemberWriteResult::Ok)
        s = Status::WriteError;
    return s;
}

}  // namespace

std::string MemberPath(const std::string& storedName)
{
    for (unsigned char c : storedName)
        if (c < 0x20 || c == 0x7F)
            return {};
    // UNC names ("\\server\share") start with a separator and are refused with the absolute ones.
    auto rel = base::SafeRelativePath(base::OemToUtf8(storedName));
    return rel ? *rel : std::string();
}

Status ExtractArchive(std::span<const uint8_t> data, const std::string& destDir, const std::vector<std::string>& only,
                      AceDecoder* lent)
{
    AceArchive archive;
    if (Status s = archive.Open(data); s != Status::Ok)
        return s;
    if (Status s = archive.CheckExtractable(); s != Status::Ok)
        return s;

    std::vector<std::string> paths;
    for (const auto& m : archive.Members()) {
        paths.push_back(MemberPath(m.name));
        if (paths.back().empty())
            return Status::UnsafeName;
    }
    struct stat st {};
    if (stat(destDir.c_str(), &st) != 0 || !S_ISDIR(st.st_mode))
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
    for (size_t i = 0; i < members.size(); ++i) {
        const Member& m = members[i];
        if (!archive.IsSolid())
            decoder.Reset();
        if (!selected(m.name)) {
            // A solid archive's later members need this one's bytes in the window.
            if (archive.IsSolid() && !m.IsDirectory()) {
                Status s = decoder.DecodeMember(m, archive.PackedData(m), [](const uint8_t*, size_t) { return true; });
                if (s != Status::Ok)
                    return s;
            }
            continue;
        }
        if (m.IsDirectory()) {
            if (!base::PrepareFolder(destDir, paths[i]))
                return Status::WriteError;
            continue;
        }
        auto target = base::PrepareTarget(destDir, paths[i]);
        if (!target)
            return Status::WriteError;
        if (Status s = WriteMember(decoder, archive, m, *target); s != Status::Ok)
            return s;
    }
    return Status::Ok;
}

}  // namespace ace
