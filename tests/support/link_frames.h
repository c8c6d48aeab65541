#pragma once
// Builds link frames as the sending side writes them, for feeding the parser.

#include <cstddef>
#include <cstdint>
#include <vector>

namespace test_link {

using Bytes = std::vector<uint8_t>;

// One 512-byte frame. `payloadArea` fills the area from offset 32 (at most
// 480 bytes, the rest zero); `declaredLength` goes into the length field
// whatever the area holds, so invalid lengths can be written too.
Bytes Frame(uint16_t sequence, uint16_t declaredLength, const Bytes& payloadArea);

// A valid frame carrying `payload` (1 to 480 bytes).
Bytes PayloadFrame(uint16_t sequence, const Bytes& payload);

// Cuts `stream` into payloads of at most `payloadSize` bytes and frames them
// with consecutive sequence numbers from `firstSequence`.
Bytes FrameStream(const Bytes& stream, uint16_t firstSequence = 1, size_t payloadSize = 480);

// `count` bytes that never hold 0xEB, so that they cannot start a frame.
Bytes Noise(size_t count, uint32_t seed);

void Append(Bytes& to, const Bytes& more);

}  // namespace test_link
