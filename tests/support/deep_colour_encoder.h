#pragma once
// Solid-colour H.265 streams in pixel formats other than the recording tools'
// default 8-bit 4:2:0, for the decoder's conversion tests, made by the tools'
// own pattern encoder.

#include <array>
#include <cstdint>
#include <string>
#include <vector>

// One picture per colour (R, G, B), each filled with that colour, encoded by
// libx265 from `pixelFormat` (an FFmpeg name such as "yuv420p10le").
bool EncodeSolidPicturesAs(const std::string& pixelFormat, int width, int height,
                           const std::vector<std::array<uint8_t, 3>>& colours,
                           std::vector<uint8_t>& es, std::string& error);
