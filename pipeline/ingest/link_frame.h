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

}  // namespace link_frame
