#pragma once
// Sizes of the pipeline's fixed buffers. A 1920 x 1080 picture at four bytes
// a pixel sets the largest: no unit the splitter keeps and no cropped picture
// outgrows it.

#include <cstddef>
#include <cstdint>

namespace buffer_limits {

constexpr int32_t kLargestPictureBytes = 1920 * 1080 * 4;  // 8294400
// Payloads the queue holds before it discards its whole backlog.
constexpr size_t kQueuedPayloads = 1024;

}  // namespace buffer_limits
