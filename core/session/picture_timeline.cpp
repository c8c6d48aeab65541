#include "core/session/picture_timeline.h"

#include <algorithm>

int64_t PictureTimeline::Decoded(bool pocKnown, int poc, bool idr) {
    if (!pocKnown) return kUnknown;
    if (idr && anyDecoded_) {
        runBase_ += runHighest_ + 1;
        runHighest_ = -1;
    }
    anyDecoded_ = true;
    runHighest_ = std::max<int64_t>(runHighest_, poc);
    return runBase_ + poc;
}

int64_t PictureTimeline::Shown(int64_t running) {
    if (!anyShown_) {
        anyShown_ = true;
        origin_ = running == kUnknown ? 0 : running;
        last_ = 0;
        return 0;
    }
    const int64_t candidate = running == kUnknown ? last_ : running - origin_;
    if (candidate > last_ && candidate - last_ <= kMaxGap) {
        last_ = candidate;
    } else {
        ++last_;
        if (running != kUnknown) origin_ = running - last_;
    }
    return last_;
}
