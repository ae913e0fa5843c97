#include "ops/DeleteEntry.h"

#include "app/CommentStore.h"
#include "base/Desktop.h"
#include "base/Files.h"

namespace ops {

bool DeleteEntry(app::ConfigState& config, Tab tab, const std::string& name, base::Desktop& desktop)
{
    const std::string path = JoinPath(FolderOf(config, tab), name);
    if (desktop.MessageBox("You want delete file " + name + "! Are you sure?", "Delete file", base::MB_YESNO) !=
        base::IDYES)
        return false;
    base::DeleteFile(path);
    // The note goes with the file, and only when the file is really gone. A store that does not
    // exist holds no note to remove.
    if (tab == Tab::Battles && !base::FileExists(path) && base::FileExists(app::CommentFilePath()))
        app::RemoveComments(name);
    return true;
}

}  // namespace ops
