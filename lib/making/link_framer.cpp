#include "lib/making/link_framer.h"

#include <algorithm>

#include "core/format/byte_order.h"
#include "core/format/link_frame.h"

namespace {

using namespace link_frame;

// SplitMix64: a fixed generator, so that a seed gives the same bytes with any
// standard library.
class Random {
public:
    explicit Random(uint64_t seed) : state_(seed) {}
    uint64_t Next() {
        uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }
    bool Chance(double p) { return p > 0 && static_cast<double>(Next() >> 11) * 0x1.0p-53 < p; }
    uint64_t Below(uint64_t n) { return Next() % n; }

private:
    uint64_t state_;
};

// One frame as written, for the statistics over what survives truncation.
struct FrameLog {
    size_t end;  // output size once the frame is written
    uint16_t sequence;
    bool invalid, jumped, repeated, copy;
    uint64_t flips, payloadBytes;
    size_t droppedBefore;  // frames dropped since the previous written frame
};

void AppendNoise(std::vector<uint8_t>& out, const Impairments& imp, Random& random) {
    if (imp.noiseBytesBetweenFrames == 0) return;
    if (imp.noiseProbability > 0 && !random.Chance(imp.noiseProbability)) return;
    const size_t count = 1 + random.Below(imp.noiseBytesBetweenFrames);
    for (size_t i = 0; i < count; ++i) {
        uint8_t b = static_cast<uint8_t>(random.Next());
        if (b == kSync1) b = 0x00;
        out.push_back(b);
    }
}

uint16_t InvalidLength(Random& random) {
    // Half of them zero, the others anywhere above the payload area.
    if (random.Chance(0.5)) return 0;
    return static_cast<uint16_t>(kPayloadArea + 1 + random.Below(65535 - kPayloadArea));
}

uint64_t FlipBits(uint8_t* payload, size_t size, double rate, Random& random) {
    uint64_t flips = 0;
    if (rate <= 0) return 0;
    for (size_t i = 0; i < size; ++i) {
        if (!random.Chance(rate)) continue;
        payload[i] ^= static_cast<uint8_t>(1u << random.Below(8));
        ++flips;
    }
    return flips;
}

void WriteHeader(uint8_t* frame, uint32_t index, uint16_t sequence, uint16_t length) {
    frame[0] = kSync1;
    frame[1] = kSync2;
    le::WriteU32(frame + kWordOffset, index);
    le::WriteU16(frame + kSequenceOffset, sequence);
    le::WriteU16(frame + kPayloadLenOffset, length);
}

// Breaks as the receiver counts them.
uint64_t CountBreaks(const std::vector<FrameLog>& frames, size_t count) {
    uint64_t breaks = 0;
    int32_t last = 0;
    for (size_t i = 0; i < count; ++i) {
        const int32_t seq = frames[i].sequence;
        if (link_frame::BreaksSequence(last, seq)) ++breaks;
        last = seq;
    }
    return breaks;
}

void FillStats(const std::vector<FrameLog>& frames, size_t kept, uint64_t noiseBytes, size_t droppedAtEnd,
               LinkStats& stats) {
    stats = LinkStats{};
    stats.dropped = droppedAtEnd;
    for (size_t i = 0; i < kept; ++i) {
        const FrameLog& f = frames[i];
        ++stats.frames;
        stats.dropped += f.droppedBefore;
        stats.invalidLength += f.invalid;
        stats.sequenceJumps += f.jumped;
        stats.sequenceRepeats += f.repeated;
        stats.repeatedFrames += f.copy;
        stats.bitFlips += f.flips;
        stats.payloadBytes += f.payloadBytes;
    }
    stats.noiseBytes = noiseBytes;
    stats.expectedBreaks = CountBreaks(frames, kept);
}

// The last frame once more, byte for byte: its payload reaches the queue twice.
void WriteAgain(std::vector<uint8_t>& out, std::vector<FrameLog>& frames) {
    const size_t start = out.size() - kFrameSize;
    out.insert(out.end(), out.begin() + static_cast<std::ptrdiff_t>(start), out.end());
    FrameLog copy = frames.back();
    copy.copy = true;
    copy.jumped = copy.repeated = false;
    copy.droppedBefore = 0;
    copy.end = out.size();
    frames.push_back(copy);
}

}  // namespace

std::vector<uint8_t> LinkNoise(size_t count, uint64_t seed) {
    Random random(seed);
    std::vector<uint8_t> out(count);
    for (uint8_t& b : out) b = static_cast<uint8_t>(random.Next());
    return out;
}

std::vector<uint8_t> FrameLink(const std::vector<uint8_t>& es, int payloadSize, const Impairments& imp,
                               LinkStats* stats) {
    const size_t chunk = static_cast<size_t>(std::clamp(payloadSize, 1, kPayloadArea));
    Random random(imp.seed);
    std::vector<uint8_t> out;
    out.reserve((es.size() / chunk + 1) * (kFrameSize + imp.noiseBytesBetweenFrames));
    std::vector<FrameLog> frames;
    uint16_t sequence = 0;  // of the last frame numbered, written or not
    size_t dropped = 0;
    uint64_t noiseBytes = 0;
    for (size_t pos = 0; pos < es.size(); pos += chunk) {
        const size_t take = std::min(chunk, es.size() - pos);
        if (random.Chance(imp.dropRate)) {
            ++sequence;
            ++dropped;
            continue;
        }
        FrameLog log{0, 0, false, false, false, false, 0, 0, dropped};
        dropped = 0;
        if (!frames.empty() && random.Chance(imp.sequenceRepeatRate)) {
            log.repeated = true;
        } else if (random.Chance(imp.sequenceJumpRate)) {
            sequence = static_cast<uint16_t>(sequence + 2 + random.Below(999));
            log.jumped = true;
        } else {
            ++sequence;
        }
        log.sequence = sequence;
        log.invalid = random.Chance(imp.invalidLengthRate);
        const uint16_t length = log.invalid ? InvalidLength(random) : static_cast<uint16_t>(take);

        const size_t before = out.size();
        AppendNoise(out, imp, random);
        noiseBytes += out.size() - before;
        const size_t start = out.size();
        out.resize(start + kFrameSize, 0);
        uint8_t* frame = out.data() + start;
        WriteHeader(frame, static_cast<uint32_t>(frames.size()), sequence, length);
        std::copy(es.begin() + static_cast<std::ptrdiff_t>(pos),
                  es.begin() + static_cast<std::ptrdiff_t>(pos + take), frame + kPayloadOffset);
        log.flips = FlipBits(frame + kPayloadOffset, take, imp.bitFlipRate, random);
        log.payloadBytes = log.invalid ? 0 : take;
        log.end = out.size();
        frames.push_back(log);
        if (random.Chance(imp.frameRepeatRate)) WriteAgain(out, frames);
    }
    size_t kept = frames.size();
    if (imp.truncateAt >= 0 && static_cast<uint64_t>(imp.truncateAt) < out.size()) {
        out.resize(static_cast<size_t>(imp.truncateAt));
        while (kept > 0 && frames[kept - 1].end > out.size()) --kept;
    }
    // Frames dropped after the last one written count unless truncation cut there first.
    if (stats != nullptr) FillStats(frames, kept, noiseBytes, kept == frames.size() ? dropped : 0, *stats);
    return out;
}
