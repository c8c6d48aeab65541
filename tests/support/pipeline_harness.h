#pragma once
// Drives the real pipeline object from the test's own thread: the test plays
// the worker (or the replay) and watches through the observer hooks.

#include <cstdint>
#include <memory>
#include <vector>

#include "pipeline/decode_data.h"

namespace test_pipeline {

using Bytes = std::vector<uint8_t>;

// Buffers allocated; no decoder and no worker thread. Units still reach
// `onNal` and telemetry capture; nothing is decoded.
std::unique_ptr<DecodeData> Bare();

// As Bare, with the real HEVC decoder open. No window, no console line.
std::unique_ptr<DecodeData> WithDecoder();

// Takes every payload out of the queue, oldest first.
std::vector<Bytes> TakeQueued(DecodeData& pipeline);

// Does the worker's job on this thread until the queue is empty.
void DrainQueue(DecodeData& pipeline);

// Feeds `stream` to the splitter in pieces of `pieceSize` bytes.
void Split(DecodeData& pipeline, const Bytes& stream, size_t pieceSize);

// Every unit the splitter hands over, copied.
struct UnitLog {
    explicit UnitLog(DecodeData& pipeline);
    std::vector<Bytes> units;
};

// Every picture shown, copied as it would appear in the window.
struct PictureLog {
    struct Picture {
        int32_t width;
        int32_t height;
        Bytes rgb;
        TelemetryRecord record;
    };
    explicit PictureLog(DecodeData& pipeline);
    std::vector<Picture> pictures;
};

Bytes Unit(const Bytes& afterStartCode);  // 00 00 00 01 + bytes

}  // namespace test_pipeline
