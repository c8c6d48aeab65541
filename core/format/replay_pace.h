#pragma once
// The pace of the paced replay: one chunk of twenty link frames handed to
// the link parser, then a pause. The link it imitates carries 512000 bytes
// a second; tools that place a frame in time place it at this pace.

#include <cstdint>

#include "core/format/link_frame.h"

namespace replay_pace {

constexpr int32_t kChunkBytes = 20 * link_frame::kFrameSize;  // 10240
constexpr int kPauseMs = 20;
constexpr uint64_t kBytesPerSecond = uint64_t{kChunkBytes} * 1000 / kPauseMs;  // 512000
static_assert(kBytesPerSecond * kPauseMs == uint64_t{kChunkBytes} * 1000, "the pace is a whole byte rate");

}  // namespace replay_pace
