#pragma once
// Ties the zip component's progress reports to a WorkProgress for the length of one Add or
// Extract: bytes done out of the bytes to come, a stop request turned into the component's
// Cancel at the library's next callback, and the files the library began, in order.
#include "archive/WorkProgress.h"
#include "archive/ZipComponent.h"

#include <string>
#include <vector>

namespace ops {

class ZipProgress {
public:
    // How the library counts its steps: the unzip library reports the bytes of each step, the
    // zip library the bytes written so far.
    enum class Steps { Increments, RunningTotal };
    // Without a progress nothing is tied and nothing is recorded.
    ZipProgress(ZipComponent& zip, archive::WorkProgress* progress, Steps steps);
    ~ZipProgress();
    ZipProgress(const ZipProgress&) = delete;
    ZipProgress& operator=(const ZipProgress&) = delete;

    // Whether the stop request reached the library during the call.
    bool Stopped() const { return stopped_; }
    // The files an extraction finished, in order: of the files begun, those not skipped, as many
    // as the library counted.
    std::vector<std::string> Finished() const;

private:
    ZipComponent& zip_;
    archive::WorkProgress* progress_;
    decltype(ZipComponent::OnProgress) previous_;
    std::vector<std::string> begun_;
    bool stopped_ = false;
};

}  // namespace ops
