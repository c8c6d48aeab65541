#include "core/demux/ordered_link_scan.h"

#include "core/format/replay_pace.h"

namespace {

// One link frame's time at the link's pace, in milliseconds (1 at 512000
// bytes a second).
int64_t LinkPaceMs(uint64_t frames) {
    return static_cast<int64_t>(frames * link_frame::kFrameSize * 1000 / replay_pace::kBytesPerSecond);
}

}  // namespace

OrderedLinkScan::OrderedLinkScan(int64_t windowMs, OnFrame onFrame)
    : onFrame_(std::move(onFrame)),
      order_(windowMs, [this](const uint8_t* frame, uint64_t position) {
          // Exactly one frame, sync pair first: the second scan completes it
          // at its last byte.
          ordered_.Feed(frame, link_frame::kFrameSize,
                        [this, position](const link_frames::Frame& ordered) { onFrame_(ordered, position); });
      }) {}

void OrderedLinkScan::Feed(const uint8_t* data, int32_t length, int64_t nowMs, uint64_t position) {
    Scan(data, length, position, false, nowMs);
}

void OrderedLinkScan::FeedAtLinkPace(const uint8_t* data, int32_t length, uint64_t position) {
    Scan(data, length, position, true, 0);
}

void OrderedLinkScan::Scan(const uint8_t* data, int32_t length, uint64_t position, bool atLinkPace, int64_t nowMs) {
    arriving_.Feed(data, length, [&](const link_frames::Frame& frame) {
        const int64_t at = atLinkPace ? LinkPaceMs(framesArrived_) : nowMs;
        ++framesArrived_;
        order_.Arrived(frame.bytes, at, position + static_cast<uint64_t>(frame.endIndex) + 1);
    });
}

void OrderedLinkScan::Tick(int64_t nowMs) { order_.Tick(nowMs); }

void OrderedLinkScan::Flush() { order_.Flush(); }
