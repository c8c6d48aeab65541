#include "tests/robustness/support/impairments.h"

#include <random>

#include "pipeline/ingest/link_frame.h"

size_t FlipPayloadBits(Bytes& linkFrames, double rate, uint32_t seed) {
    using namespace link_frame;
    std::mt19937 random(seed);
    // The gap to the next flipped bit is geometric; drawing it beats one
    // draw per bit.
    std::geometric_distribution<size_t> gap(rate);
    const size_t payloadBits = static_cast<size_t>(kPayloadArea) * 8;
    const size_t frames = linkFrames.size() / kFrameSize;
    size_t flipped = 0;
    for (size_t bit = gap(random); bit < frames * payloadBits; bit += 1 + gap(random)) {
        const size_t frame = bit / payloadBits;
        const size_t inPayload = bit % payloadBits;
        linkFrames[frame * kFrameSize + kPayloadOffset + inPayload / 8] ^=
            static_cast<uint8_t>(1u << (inPayload % 8));
        ++flipped;
    }
    return flipped;
}

Bytes RandomBytes(size_t count, uint32_t seed) {
    std::mt19937 random(seed);
    Bytes out(count);
    for (uint8_t& b : out) b = static_cast<uint8_t>(random());
    return out;
}

Bytes DropAndRepeatFrames(const Bytes& linkFrames, int dropEvery, int repeatEvery) {
    using link_frame::kFrameSize;
    Bytes out;
    const size_t frames = linkFrames.size() / kFrameSize;
    for (size_t i = 0; i < frames; ++i) {
        const auto begin = linkFrames.begin() + static_cast<std::ptrdiff_t>(i * kFrameSize);
        const int copies = (i + 1) % static_cast<size_t>(dropEvery) == 0     ? 0
                           : (i + 1) % static_cast<size_t>(repeatEvery) == 0 ? 2
                                                                             : 1;
        for (int c = 0; c < copies; ++c) out.insert(out.end(), begin, begin + kFrameSize);
    }
    return out;
}
