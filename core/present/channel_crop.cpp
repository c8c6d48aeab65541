#include "core/present/channel_crop.h"

#include <cstring>

namespace channel_crop {

namespace {

constexpr int32_t kSourceRowBytes = kSourceWidth * 3;
constexpr int32_t kCropLeft = (kSourceWidth - kCropWidth) / 2;  // 320
constexpr int32_t kCropTop = (1080 - kCropHeight) / 2;          // 28
constexpr int32_t kCropRowBytes = kCropWidth * 3;

// The crop reads rows kCropTop .. kCropTop + kCropHeight - 1 at the fixed
// 1920-pixel pitch.
bool CropFits(int32_t width, int32_t height) {
    return width == kSourceWidth && height >= kCropTop + kCropHeight;
}

}  // namespace

PictureArea ShownArea(int32_t videoType, int32_t width, int32_t height) {
    if (videoType == 0 && CropFits(width, height)) return {kCropLeft, kCropTop, kCropWidth, kCropHeight};
    return {0, 0, width, height};
}

void Crop(uint8_t* destination, const uint8_t* source) {
    const uint8_t* row = source + kCropTop * kSourceRowBytes + kCropLeft * 3;
    for (int32_t i = 0; i < kCropHeight; ++i) {
        std::memcpy(destination + i * kCropRowBytes, row + i * kSourceRowBytes, kCropRowBytes);
    }
}

}  // namespace channel_crop
