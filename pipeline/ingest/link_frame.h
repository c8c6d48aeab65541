#pragma once
// Layout of one downlink link frame. Offsets count from the first sync byte;
// multi-byte fields are little-endian.

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

}  // namespace link_frame
