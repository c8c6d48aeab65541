#pragma once
// Small copies of the shown picture for an observer that draws thumbnails.
//
// Converting a whole picture to RGB and scaling the RGB down costs several
// milliseconds at 1920 x 1080, most of it in the scaling, since swscale
// takes packed RGB back to YUV to scale it. Scaling the decoded picture's
// shown area straight to the small RGB size reads the same pixels once and
// writes a hundredth of them.

#include <cstdint>
#include <vector>

#include "core/present/shown_picture.h"

extern "C" {
struct AVFrame;
struct SwsContext;
}

class SmallCopy {
public:
    SmallCopy() = default;
    ~SmallCopy();
    SmallCopy(const SmallCopy&) = delete;
    SmallCopy& operator=(const SmallCopy&) = delete;

    // Scales `area` of `frame` to fit `box`, aspect kept, into packed RGB;
    // false when that cannot be done (the area's corner is not on the
    // chroma grid, an unusual pixel format, a failed scale).
    bool Make(const AVFrame& frame, const PictureArea& area, const PictureBox& box);
    void Free();

    const uint8_t* Pixels() const { return rgb_.data(); }
    int32_t Width() const { return width_; }
    int32_t Height() const { return height_; }

private:
    SwsContext* sws_ = nullptr;
    std::vector<uint8_t> rgb_;
    int32_t width_ = 0;
    int32_t height_ = 0;
};
