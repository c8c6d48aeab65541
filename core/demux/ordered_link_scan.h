#pragma once
// The link scan with the frames put back in sequence order first: a scan
// finds the frames as they arrive, FrameOrder restores their order, and a
// second scan over the ordered frames gives the events and counts every
// reader uses. With a window of 0 it is the plain link scan.

#include <cstdint>
#include <functional>

#include "core/demux/frame_order.h"
#include "core/demux/link_frames.h"

class OrderedLinkScan {
public:
    // Each frame in order, with the position it arrived with (see Feed).
    using OnFrame = std::function<void(const link_frames::Frame& frame, uint64_t position)>;

    OrderedLinkScan(int64_t windowMs, OnFrame onFrame);

    // Link bytes that arrived at `nowMs`. A frame's position is
    // `position` plus the index just past its last byte in `data`.
    void Feed(const uint8_t* data, int32_t length, int64_t nowMs, uint64_t position = 0);
    // The same for a recording, whose frames are placed in time at the
    // link's pace: the n-th frame arrives at n link-frame times.
    void FeedAtLinkPace(const uint8_t* data, int32_t length, uint64_t position = 0);
    // The next frame is the first in order (see FrameOrder).
    void StartWithNextFrame() { order_.StartWithNextFrame(); }
    // Gives up the gaps that waited their window out by `nowMs`.
    void Tick(int64_t nowMs);
    // At the end of the input: what is held goes on.
    void Flush();
    // When Tick next has work, or -1.
    int64_t NextDeadline() const { return order_.NextDeadline(); }

    // The ordered frames' counts (frames, invalid, breaks), and what the
    // ordering gave up or dropped.
    const link_frames::State& Counts() const { return ordered_.Counts(); }
    const FrameOrderCounts& OrderCounts() const { return order_.Counts(); }

private:
    void Scan(const uint8_t* data, int32_t length, uint64_t position, bool atLinkPace, int64_t nowMs);

    OnFrame onFrame_;
    link_frames::Parser arriving_;
    link_frames::Parser ordered_;
    FrameOrder order_;
    uint64_t framesArrived_ = 0;
};
