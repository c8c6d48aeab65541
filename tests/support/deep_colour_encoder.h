#pragma once
// H.265 streams in pixel formats other than the recording tools' 8-bit 4:2:0,
// for the decoder's conversion tests. Same stream shape as the tools write:
// 4-byte start codes, no B-frames, parameter sets at the key picture.

#include <array>
#include <cstdint>
#include <string>
#include <vector>

// One picture per colour (R, G, B), each filled with that colour, encoded by
// libx265 from `pixelFormat` (an FFmpeg name such as "yuv420p10le").
bool EncodeSolidPicturesAs(const std::string& pixelFormat, int width, int height,
                           const std::vector<std::array<uint8_t, 3>>& colours,
                           std::vector<uint8_t>& es, std::string& error);
