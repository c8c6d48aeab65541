#pragma once
// Decode times for access units written in decode order, from their
// presentation times: with a reorder depth of D pictures, an access unit is
// decoded when the (D+1)-th latest presentation time seen so far comes due,
// the way libavformat fills in missing decode times. Without B-frames (D 0)
// every decode time is its presentation time.

#include <cstdint>
#include <vector>

class DecodeClock {
public:
    static constexpr int kMaxDelay = 16;  // the largest picture buffer H.265 allows

    explicit DecodeClock(int reorderDelay);

    // False when no decode time fits (a damaged stream reordered deeper than
    // its parameter sets say): the access unit is left out.
    bool Next(int64_t pts, int64_t& dts);

private:
    std::vector<int64_t> latest_;  // the D+1 latest presentation times, ascending
    bool started_ = false;
    int64_t last_ = 0;
};
