#pragma once
// Link frames back in the order their sequence numbers give, within a
// bounded window. A datagram link with jitter delivers frames swapped; the
// link scan would count every swap as a break and the stream would reach the
// decoder out of order. Frames that arrive in order pass at once; a frame
// ahead of a gap is held until the gap fills or the gap has waited the
// window out with no frame coming in order, when the missing frames count
// as lost; a frame that comes after its gap was given up counts as late, a
// repeat as a duplicate, and neither goes on.
//
// Time is the caller's, in milliseconds: a live reader gives the clock, a
// reader of a recording the frames' places at the link's pace, so that both
// restore the same order.

#include <array>
#include <cstdint>
#include <functional>
#include <map>
#include <vector>

#include "core/format/link_frame.h"

struct FrameOrderCounts {
    uint64_t lost = 0;       // frames a gap waited for in vain
    uint64_t late = 0;       // frames that came after their gap was given up
    uint64_t duplicate = 0;  // frames that came again
};

class FrameOrder {
public:
    // Each frame as it goes on, its 512 bytes valid during the call, with
    // the position it arrived with.
    using Emit = std::function<void(const uint8_t* frame, uint64_t position)>;
    // A default fit for datagram jitter at the link's rate of one frame a
    // millisecond: gaps wait up to 40 frames.
    static constexpr int64_t kDefaultWindowMs = 40;
    // How far ahead of the next number due a frame is held, whatever the
    // window: a second of the link. A frame farther ahead, like one far
    // behind, starts the count again: what is held goes on first.
    static constexpr size_t kMostHeld = 1000;

    // A window of 0 passes every frame on as it comes.
    FrameOrder(int64_t windowMs, Emit emit);

    // A complete frame, sync pair first, at `nowMs`; `position` goes on
    // with it (a reader of a recording gives the frame's place in it).
    void Arrived(const uint8_t* frame, int64_t nowMs, uint64_t position = 0);
    // The next frame to arrive is the first sent: a reader that goes back to
    // a frame it saw pass in order starts there, without the start's wait
    // for frames numbered before it.
    void StartWithNextFrame() { startInOrder_ = true; }
    // Gives up the gaps that have waited the window out by `nowMs`.
    void Tick(int64_t nowMs);
    // The end of the input: everything held goes on, in order.
    void Flush();
    // When Tick next has work, or -1 while nothing is held.
    int64_t NextDeadline() const;

    const FrameOrderCounts& Counts() const { return counts_; }
    int64_t WindowMs() const { return windowMs_; }

private:
    struct Held {
        std::array<uint8_t, link_frame::kFrameSize> bytes;
        int64_t arrivedMs;
        uint64_t position;
    };

    void Hold(const uint8_t* frame, int64_t place, int64_t nowMs, uint64_t position);
    void Behind(const uint8_t* frame, uint16_t sequence, uint64_t position);
    void Pass(const uint8_t* frame, uint16_t sequence, uint64_t position);
    void PassRun();
    void PassHeld(const std::vector<Held>& frames);
    void GiveUpFirstGap();
    void Restart(const uint8_t* frame, uint16_t sequence, uint64_t position);

    int64_t windowMs_;
    Emit emit_;
    bool started_ = false;
    // Nothing has passed yet: a frame below the lowest number seen moves
    // the start back.
    bool starting_ = false;
    bool startInOrder_ = false;
    // The next number due, and the place of every number from it on, as
    // a count that does not wrap.
    uint16_t next_ = 0;
    int64_t nextPlace_ = 0;
    // By place: the frame held there, and any other frames that came
    // under the same number after it, to go on right behind it.
    std::map<int64_t, std::vector<Held>> held_;
    // When a frame last came in order, or holding began.
    int64_t lastProgressMs_ = 0;
    // The numbers and contents of the last frames passed on, to tell a
    // repeat from a frame that came too late.
    static constexpr size_t kRemembered = 2048;
    struct Passed {
        int32_t sequence = -1;
        uint64_t content = 0;
    };
    std::array<Passed, kRemembered> passed_;
    FrameOrderCounts counts_;
};
