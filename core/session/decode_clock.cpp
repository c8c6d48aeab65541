#include "core/session/decode_clock.h"

#include <algorithm>
#include <utility>

DecodeClock::DecodeClock(int reorderDelay)
    : latest_(static_cast<size_t>(std::clamp(reorderDelay, 0, kMaxDelay)) + 1) {}

bool DecodeClock::Next(int64_t pts, int64_t& dts) {
    const int64_t delay = static_cast<int64_t>(latest_.size()) - 1;
    if (!started_) {
        // Before the first picture the decoder starts D intervals early.
        for (size_t i = 0; i < latest_.size(); ++i) latest_[i] = pts - delay + static_cast<int64_t>(i) - 1;
    }
    if (pts > latest_[0]) {
        latest_[0] = pts;
        for (size_t i = 0; i + 1 < latest_.size() && latest_[i] > latest_[i + 1]; ++i) {
            std::swap(latest_[i], latest_[i + 1]);
        }
    }
    int64_t candidate = latest_[0];
    if (started_ && candidate <= last_) candidate = last_ + 1;
    if (candidate > pts) return false;
    started_ = true;
    last_ = candidate;
    dts = candidate;
    return true;
}
