#pragma once
// Cuts an elementary stream into 512-byte link frames, with optional,
// reproducible impairments of the kind a real downlink shows.

#include <cstddef>
#include <cstdint>
#include <vector>

// Each impairment is off at its default. Rates are probabilities per frame,
// except bitFlipRate, which is per payload byte (one random bit of that byte
// flips). Same seed, same stream and same options give the same bytes.
struct Impairments {
    uint64_t seed = 1;
    // Up to this many noise bytes before a frame; noiseProbability is the
    // chance that a gap gets any (0 with a byte count: every gap). Noise never
    // holds 0xEB, so it never costs the receiver the frame after it.
    size_t noiseBytesBetweenFrames = 0;
    double noiseProbability = 0;
    double dropRate = 0;            // frame not written; its number and data are lost
    double invalidLengthRate = 0;   // length field 0 or above 480; the payload is lost
    double sequenceJumpRate = 0;    // number jumps ahead by 2 to 1000; data intact
    double sequenceRepeatRate = 0;  // previous number written again; data intact
    double bitFlipRate = 0;
    double frameRepeatRate = 0;  // frame written twice, number and data alike
    int64_t truncateAt = -1;  // output cut to this many bytes when >= 0
};

// What was injected, counted over the frames the output holds whole.
struct LinkStats {
    uint64_t frames = 0, dropped = 0, invalidLength = 0, sequenceJumps = 0, sequenceRepeats = 0, bitFlips = 0,
             noiseBytes = 0, repeatedFrames = 0;
    // The breaks the receiver's sequence rule counts over the frames written.
    uint64_t expectedBreaks = 0;
    // Elementary-stream bytes that reach the receiver's queue intact or flipped.
    uint64_t payloadBytes = 0;
};

// Frames: EB 90, header word (frame index) at 4, u16 LE sequence number at 10
// counting from 1 and wrapping through 0, u16 LE payload length at 12, the
// payload at 32, padded with zeros to the 480-byte area. `payloadSize` (1 to
// 480) bytes per frame; the last frame carries the rest.
std::vector<uint8_t> FrameLink(const std::vector<uint8_t>& es, int payloadSize, const Impairments& imp,
                               LinkStats* stats = nullptr);

// Bytes of a link that carries nothing but noise, sync bytes and all: unlike
// the noise between frames, it may hold false frame starts. Same seed, same bytes.
std::vector<uint8_t> LinkNoise(size_t count, uint64_t seed);
