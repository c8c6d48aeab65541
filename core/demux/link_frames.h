#pragma once
// Link frames out of link bytes that arrive in pieces of any size: the hunt
// for the sync pair, the frame's header and the sequence rule. The state
// lives with its owner between calls, under the names the player's pipeline
// object gives its fields, so that the player and every other reader run
// this one scan; each completed frame comes out as an event.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "core/format/byte_order.h"
#include "core/format/link_frame.h"

// One link frame placed in a recording: what its reader reports of it.
struct LinkFrameEvent {
    uint64_t endOffset;      // recording bytes up to and including the frame's last byte
    uint16_t sequence;       // its sequence number
    bool sequenceBreak;      // the parser counted a break at this frame
    uint32_t framesSkipped;  // numbers skipped forward at that break
    bool invalid;            // payload length 0 or above 480: the payload was dropped
    uint32_t payloadLength;  // as the frame's header gives it
};

namespace link_frames {

// Where the hunt stands, kept in `linkState`.
constexpr int32_t kHunting = 0;
constexpr int32_t kSync1Seen = 1001;
constexpr int32_t kCollecting = 1002;

// One completed frame; the pointers are valid during the call only.
struct Frame {
    const uint8_t* bytes;    // its 512 bytes, sync pair first
    int32_t endIndex;        // index, in the bytes of this call, of its last byte
    uint16_t sequence;
    bool sequenceBreak;      // its number does not follow the one before
    uint32_t framesSkipped;  // numbers skipped forward at that break
    uint32_t payloadLength;  // as its header gives it
    bool valid;              // a payload length of 1 to 480: the payload goes on
    const uint8_t* Payload() const { return bytes + link_frame::kPayloadOffset; }
};

// The scan takes a signed 32-bit count; readers cut larger reads into pieces
// of at most this many bytes.
constexpr size_t kLargestPiece = size_t{1} << 30;

// A parser's state. `linkBuf` holds link_frame::kAssemblyBufferSize bytes.
struct State {
    uint8_t* linkBuf = nullptr;
    int32_t linkLen = 0;
    int32_t linkState = kHunting;
    uint32_t payloadLen = 0;
    uint32_t linkWord = 0;
    int32_t lastSeq = 0;  // 0 before the first frame
    int32_t lostCount = 0;
    uint64_t linkFrameCount = 0;
    uint64_t invalidFrameCount = 0;
};

// Scans `length` bytes (none when it is 0 or less) and calls `onFrame(const
// Frame&)` for each frame they complete. `S` has State's members.
//
// The scan keeps the assembly state in locals: a byte stored through
// linkBuf may alias any field, so fields would be reloaded and stored again
// for every byte, which costs the scan two thirds of its speed. A frame's
// body, 510 of its 512 bytes, is copied at once, up to the end of the frame
// or of the piece.
template <typename S, typename OnFrame>
void Parse(S& s, const uint8_t* data, int32_t length, OnFrame&& onFrame) {
    using namespace link_frame;
    uint8_t* const buf = s.linkBuf;
    int32_t len = s.linkLen;
    int32_t state = s.linkState;
    for (int32_t i = 0; i < length; ++i) {
        if (state == kCollecting) {
            const int32_t take = std::min(kFrameSize - len, length - i);
            std::memcpy(buf + len, data + i, static_cast<size_t>(take));
            len += take;
            i += take;
            if (len < kFrameSize) break;
            --i;  // the loop's step moves on to the byte after the frame
            s.payloadLen = le::ReadU16(buf + kPayloadLenOffset);
            s.linkWord = le::ReadU32(buf + kWordOffset);
            const int32_t seq = le::ReadU16(buf + kSequenceOffset);
            const bool sequenceBreak = BreaksSequence(s.lastSeq, seq);
            const uint32_t skipped = sequenceBreak ? FramesSkipped(s.lastSeq, seq) : 0;
            if (sequenceBreak) ++s.lostCount;
            s.lastSeq = seq;
            ++s.linkFrameCount;
            const bool valid = s.payloadLen >= 1 && s.payloadLen <= static_cast<uint32_t>(kPayloadArea);
            if (!valid) ++s.invalidFrameCount;
            onFrame(Frame{buf, i, static_cast<uint16_t>(seq), sequenceBreak, skipped, s.payloadLen, valid});
            len = 0;
            state = kHunting;
            continue;
        }
        const uint8_t b = data[i];
        if (len >= kAssemblyBufferSize) len = 0;
        buf[len++] = b;
        if (state == kHunting && b == kSync1) {
            state = kSync1Seen;
        } else if (state == kSync1Seen && b == kSync2) {
            state = kCollecting;
        } else {
            // Lost sync (a second 0xEB included): drop what is held, hunt on.
            len = 0;
            state = kHunting;
        }
    }
    s.linkLen = len;
    s.linkState = state;
}

// A parser that owns its state and buffer, for readers other than the
// player's pipeline object.
class Parser {
public:
    Parser() : buffer_(link_frame::kAssemblyBufferSize) { state_.linkBuf = buffer_.data(); }

    template <typename OnFrame>
    void Feed(const uint8_t* data, int32_t length, OnFrame&& onFrame) {
        Parse(state_, data, length, onFrame);
    }
    const State& Counts() const { return state_; }

private:
    std::vector<uint8_t> buffer_;
    State state_;
};

// A frame placed in a recording, as readers of recordings report it.
inline LinkFrameEvent EventAt(const Frame& frame, uint64_t endOffset) {
    return {endOffset, frame.sequence, frame.sequenceBreak, frame.framesSkipped, !frame.valid, frame.payloadLength};
}

}  // namespace link_frames
