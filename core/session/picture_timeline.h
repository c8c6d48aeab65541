#pragma once
// Where each exported picture stands in time, in picture intervals from the
// first one. The picture order count says it: it counts one per picture
// interval in the order pictures are shown, so a picture lost on the link
// leaves a gap of its own interval. It starts again at 0 at every IDR
// picture; the count is carried on from the highest value of the run before.
// A count that is unknown (no parameter sets yet), runs backwards or jumps
// further than kMaxGap intervals (a damaged header) places the picture one
// interval after the previous one and the count is measured from there on.

#include <cstdint>

class PictureTimeline {
public:
    static constexpr int64_t kMaxGap = 1000;

    // In decode order: the access unit's place on a running count, or
    // kUnknown. `idr` when its count starts again.
    static constexpr int64_t kUnknown = INT64_MIN;
    int64_t Decoded(bool pocKnown, int poc, bool idr);

    // In show order: the picture's index, from the value Decoded gave it.
    int64_t Shown(int64_t running);

private:
    // Decode side: the running count of the current run's 0, and the highest in it.
    int64_t runBase_ = 0;
    int64_t runHighest_ = -1;
    bool anyDecoded_ = false;
    // Show side.
    bool anyShown_ = false;
    int64_t origin_ = 0;  // running count of index 0
    int64_t last_ = 0;
};
