#pragma once
// Layout of one downlink link frame. Offsets count from the first sync byte;
// multi-byte fields are little-endian.

#include <cstddef>
#include <cstdint>

namespace link_frame {

constexpr int kFrameSize = 512;
constexpr int kHeaderSize = 32;
constexpr int kPayloadArea = kFrameSize - kHeaderSize;  // 480

constexpr uint8_t kSync1 = 0xEB;
constexpr uint8_t kSync2 = 0x90;

constexpr int kWordOffset = 4;         // u32, kept but not interpreted
constexpr int kSequenceOffset = 10;    // u16, counts up and wraps through 0
constexpr int kPayloadLenOffset = 12;  // u16, valid from 1 to kPayloadArea
constexpr int kPayloadOffset = kHeaderSize;

// Bound of the assembly buffer; a frame never needs more than kFrameSize.
constexpr int kAssemblyBufferSize = 4096;

// A frame numbered 0 restarts the count, so a 16-bit counter wrapping
// through 0 is no break; any other number must follow the last one on.
inline bool BreaksSequence(int32_t lastSequence, int32_t sequence) {
    return sequence != 0 && sequence != lastSequence + 1;
}

// Frames lost at a break: the numbers skipped forward. A repeat or a step
// back, whose distance wraps past half the 16-bit range, loses none.
inline uint32_t FramesSkipped(int32_t lastSequence, int32_t sequence) {
    const uint16_t skipped = static_cast<uint16_t>(sequence - (lastSequence + 1));
    return skipped < 0x8000 ? skipped : 0;
}

// Where in `data` a link frame starts, for a reader that begins at any
// offset or a recording file that must begin with a frame: the first sync
// pair followed by another one a frame later, or, near the end, the first
// sync pair whose frame runs past `data`. `size` when there is none.
inline size_t FindFrameStart(const uint8_t* data, size_t size) {
    auto syncAt = [data](size_t i) { return data[i] == kSync1 && data[i + 1] == kSync2; };
    for (size_t i = 0; i + 1 < size; ++i) {
        if (!syncAt(i)) continue;
        const size_t next = i + kFrameSize;
        if (next + 1 >= size || syncAt(next)) return i;
    }
    return size;
}

}  // namespace link_frame
