#pragma once
// The player's own path, from link bytes to the RGB picture handed to the
// display, driven the way the replay and the worker drive it but without
// the pace, the thread hand-over or the window.

#include <cstdint>
#include <functional>
#include <vector>

#include "core/format/replay_pace.h"

class DecodeData;

constexpr int32_t kReplayChunkSize = replay_pace::kChunkBytes;

struct PlayerRun {
    long pictures = 0;
    double seconds = 0;
    double cpuSeconds = 0;  // this thread's, less disturbed by other load
};

// A DecodeData with buffers and an open decoder, the window and the line
// off, and the one-time "aabbccdd" announcement already made so that it
// does not interleave with the figures.
void PrepareHeadlessDecoder(DecodeData& pipeline);

// Parses the recording chunk by chunk and drains the queue through the
// splitter after each; `beforeChunk` learns the index of the chunk about to
// be parsed, so that observers can tell which chunk completed a unit.
void FeedUnpaced(DecodeData& pipeline, const std::vector<uint8_t>& recording,
                 const std::function<void(size_t chunk)>& beforeChunk = {});

// Each chunk is parsed, then the queue drained through the splitter and
// the decoder, as the worker would between two chunks.
PlayerRun PlayUnpaced(const std::vector<uint8_t>& recording);
