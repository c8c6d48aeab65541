#pragma once
// What of a decoded picture is shown. Channel 0's cameras deliver
// 1920 x 1080, of which the centred 1280 x 1024 window is shown; every other
// picture, and every picture of another channel, is shown whole.

#include <cstdint>

#include "core/present/shown_picture.h"

namespace channel_crop {

constexpr int32_t kSourceWidth = 1920;
constexpr int32_t kCropWidth = 1280;
constexpr int32_t kCropHeight = 1024;
// Bytes of the cropped RGB picture: what a crop buffer must hold.
constexpr int32_t kCropBytes = kCropWidth * kCropHeight * 3;

// The part of a width x height picture of channel `videoType` that is shown.
PictureArea ShownArea(int32_t videoType, int32_t width, int32_t height);

// Copies channel 0's shown window out of a 1920-pixel-wide packed RGB
// picture into `destination` (kCropBytes).
void Crop(uint8_t* destination, const uint8_t* source);

}  // namespace channel_crop
