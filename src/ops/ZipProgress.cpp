#include "ops/ZipProgress.h"

#include <algorithm>

namespace ops {

ZipProgress::ZipProgress(ZipComponent& zip, archive::WorkProgress* progress, Steps steps)
    : zip_(zip), progress_(progress), previous_(zip.OnProgress)
{
    if (!progress_)
        return;
    progress_->SetStoppable(true);
    zip_.OnProgress = [this, steps](ZipComponent* sender, ProgressType type, const std::string& name, int32_t size) {
        const auto bytes = static_cast<uint64_t>(std::max(size, 0));
        switch (type) {
        case NewFile: begun_.push_back(name); break;
        case ProgressUpdate:
            if (steps == Steps::Increments)
                progress_->AddDone(bytes);
            else
                progress_->SetDone(bytes);
            break;
        case TotalSize2Process: progress_->SetTotal(bytes); break;
        default: break;
        }
        // The component answers the library after this report: the stop counts at once.
        if (progress_->StopRequested()) {
            zip_.Cancel = true;
            stopped_ = true;
        }
        if (previous_)
            previous_(sender, type, name, size);
    };
}

ZipProgress::~ZipProgress()
{
    if (progress_)
        zip_.OnProgress = previous_;
}

std::vector<std::string> ZipProgress::Finished() const
{
    std::vector<std::string> finished;
    for (const auto& name : begun_) {
        const bool skipped = std::any_of(zip_.SkippedMembers.begin(), zip_.SkippedMembers.end(),
                                         [&name](const SkippedMember& member) { return member.name == name; });
        if (!skipped && static_cast<int32_t>(finished.size()) < zip_.SuccessCount)
            finished.push_back(name);
    }
    return finished;
}

}  // namespace ops
