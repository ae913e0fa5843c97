#include "ops/ArchiveDetails.h"

#include "base/Files.h"

namespace ops {

ArchiveDetails ReadArchiveDetails(app::ConfigState& config, app::ArchiveDir which, const std::string& name)
{
    app::EnsureTrailingBackslash(config, which);
    const std::string path = config.Current().ArchiveDirectory(which) + name;
    ArchiveDetails details;
    details.modified = app::DecodeDosDateTime(base::FileAge(path));
    base::FileStream file(path, base::FileStream::OpenRead);
    details.size = file.Size();
    file.Close();
    return details;
}

}  // namespace ops
