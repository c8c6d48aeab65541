#include "lib/view/playback.h"

#include <algorithm>
#include <cmath>

namespace playback {

double ChangedSpeed(double speed, int steps) {
    return std::clamp(speed * std::pow(2.0, steps), kSlowest, kFastest);
}

void Clock::Start(double seconds, double speed, Time now) {
    startSeconds_ = seconds;
    speed_ = speed;
    startTime_ = now;
}

double Clock::SecondsAt(Time now) const {
    return startSeconds_ + std::chrono::duration<double>(now - startTime_).count() * speed_;
}

}  // namespace playback
