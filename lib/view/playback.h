#pragma once
// Playing at a speed: which moment of the recording is due now, and the
// speeds a viewer steps through (0.25x to 8x, doubling).

#include <chrono>

namespace playback {

constexpr double kSlowest = 0.25;
constexpr double kFastest = 8;

// One step faster (`steps` > 0) or slower, within the bounds.
double ChangedSpeed(double speed, int steps);

class Clock {
public:
    using Time = std::chrono::steady_clock::time_point;
    // Plays on from `seconds` into the recording at `speed`, from `now`.
    void Start(double seconds, double speed, Time now);
    double SecondsAt(Time now) const;
    double Speed() const { return speed_; }

private:
    double startSeconds_ = 0;
    double speed_ = 1;
    Time startTime_{};
};

}  // namespace playback
