#pragma once
// Real H.265 streams of pictures the test chooses, encoded by the recording
// tools' own encoder.

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "lib/making/pattern_encoder.h"

// One picture per entry, each filled with the one colour (R, G, B) given.
bool EncodeSolidPictures(int width, int height, const std::vector<std::array<uint8_t, 3>>& rgbPerPicture,
                         std::vector<uint8_t>& es, std::string& error);

// Packed RGB pictures, each width * height * 3 bytes, encoded in order.
bool EncodeRgbPictures(int width, int height, const std::vector<std::vector<uint8_t>>& pictures,
                       std::vector<uint8_t>& es, std::string& error);
