#include "tests/support/link_frames.h"

#include <algorithm>
#include <random>

#include "core/format/byte_order.h"
#include "core/format/link_frame.h"

namespace test_link {

Bytes Frame(uint16_t sequence, uint16_t declaredLength, const Bytes& payloadArea) {
    using namespace link_frame;
    Bytes frame(kFrameSize, 0);
    frame[0] = kSync1;
    frame[1] = kSync2;
    // Header bytes the receiver ignores carry something, as a sender's would.
    frame[2] = 0x5A;
    le::WriteU32(&frame[kWordOffset], 0x04030201u);
    le::WriteU16(&frame[kSequenceOffset], sequence);
    le::WriteU16(&frame[kPayloadLenOffset], declaredLength);
    const size_t n = std::min(payloadArea.size(), static_cast<size_t>(kPayloadArea));
    std::copy_n(payloadArea.begin(), n, frame.begin() + kPayloadOffset);
    return frame;
}

Bytes PayloadFrame(uint16_t sequence, const Bytes& payload) {
    return Frame(sequence, static_cast<uint16_t>(payload.size()), payload);
}

Bytes FrameStream(const Bytes& stream, uint16_t firstSequence, size_t payloadSize) {
    Bytes out;
    uint16_t sequence = firstSequence;
    for (size_t pos = 0; pos < stream.size(); pos += payloadSize) {
        const size_t n = std::min(payloadSize, stream.size() - pos);
        Append(out, PayloadFrame(sequence++, Bytes(stream.begin() + pos, stream.begin() + pos + n)));
    }
    return out;
}

Bytes Noise(size_t count, uint32_t seed) {
    std::mt19937 random(seed);
    Bytes out(count);
    for (auto& b : out) {
        do {
            b = static_cast<uint8_t>(random());
        } while (b == link_frame::kSync1);
    }
    return out;
}

void Append(Bytes& to, const Bytes& more) { to.insert(to.end(), more.begin(), more.end()); }

}  // namespace test_link
