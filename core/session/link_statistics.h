#pragma once
// What a link delivered, counted the same way by every program: the live
// status line, the recording summary and the report page show these.

#include <atomic>
#include <cstdint>

template <typename Count>
struct BasicLinkStatistics {
    Count bytes{};              // link bytes read or received
    Count linkFrames{};         // link frames completed
    Count invalidFrames{};      // of those, dropped for a payload length of 0 or above 480
    Count sequenceBreaks{};     // frames whose number did not follow the one before
    // Put back in order first (FrameOrder): frames a gap waited for in
    // vain, frames that came after their gap was given up, and repeats.
    Count lostFrames{};
    Count lateFrames{};
    Count duplicateFrames{};
    Count payloads{};           // payloads handed on to the splitter
    Count payloadBytes{};
    Count discardedPayloads{};  // thrown away unsplit by the queue's discard rule
    Count pictures{};           // pictures decoded and shown
};

using LinkStatistics = BasicLinkStatistics<uint64_t>;

// Written by the threads that count, read by another.
using SharedLinkStatistics = BasicLinkStatistics<std::atomic<uint64_t>>;

inline LinkStatistics Load(const SharedLinkStatistics& shared) {
    LinkStatistics s;
    s.bytes = shared.bytes;
    s.linkFrames = shared.linkFrames;
    s.invalidFrames = shared.invalidFrames;
    s.sequenceBreaks = shared.sequenceBreaks;
    s.lostFrames = shared.lostFrames;
    s.lateFrames = shared.lateFrames;
    s.duplicateFrames = shared.duplicateFrames;
    s.payloads = shared.payloads;
    s.payloadBytes = shared.payloadBytes;
    s.discardedPayloads = shared.discardedPayloads;
    s.pictures = shared.pictures;
    return s;
}
