#include "core/decode/small_copy.h"

#include <algorithm>
#include <cstddef>

extern "C" {
#include <libavutil/frame.h>
#include <libavutil/pixdesc.h>
#include <libswscale/swscale.h>
}

namespace {

// `area` fitted into `box`, aspect kept, up or down; one side meets the box.
PictureBox Fitted(const PictureArea& area, const PictureBox& box) {
    const double fit = std::min(static_cast<double>(box.width) / area.width,
                                static_cast<double>(box.height) / area.height);
    return {std::max(1, static_cast<int32_t>(area.width * fit + 0.5)),
            std::max(1, static_cast<int32_t>(area.height * fit + 0.5))};
}

// Plane pointers of `frame` moved to the area's top left corner; false when
// a plane's subsampling does not allow that corner.
bool AreaPlanes(const AVFrame& frame, const PictureArea& area, const uint8_t* planes[4]) {
    const AVPixFmtDescriptor* desc = av_pix_fmt_desc_get(static_cast<AVPixelFormat>(frame.format));
    if (desc == nullptr || (desc->flags & (AV_PIX_FMT_FLAG_HWACCEL | AV_PIX_FMT_FLAG_PAL | AV_PIX_FMT_FLAG_BITSTREAM))) {
        return false;
    }
    for (int i = 0; i < 4; ++i) planes[i] = frame.data[i];
    bool moved[4] = {false, false, false, false};
    for (int c = 0; c < desc->nb_components; ++c) {
        const AVComponentDescriptor& comp = desc->comp[c];
        if (moved[comp.plane]) continue;
        moved[comp.plane] = true;
        const bool chroma = c == 1 || c == 2;
        const int shiftX = chroma ? desc->log2_chroma_w : 0;
        const int shiftY = chroma ? desc->log2_chroma_h : 0;
        if ((area.left & ((1 << shiftX) - 1)) != 0 || (area.top & ((1 << shiftY) - 1)) != 0) return false;
        planes[comp.plane] += static_cast<ptrdiff_t>(area.top >> shiftY) * frame.linesize[comp.plane] +
                              static_cast<ptrdiff_t>(area.left >> shiftX) * comp.step;
    }
    return true;
}

}  // namespace

SmallCopy::~SmallCopy() { Free(); }

void SmallCopy::Free() {
    sws_freeContext(sws_);
    sws_ = nullptr;
}

bool SmallCopy::Make(const AVFrame& frame, const PictureArea& area, const PictureBox& box) {
    if (area.width <= 0 || area.height <= 0) return false;
    const uint8_t* planes[4];
    if (!AreaPlanes(frame, area, planes)) return false;
    const PictureBox size = Fitted(area, box);
    sws_ = sws_getCachedContext(sws_, area.width, area.height, static_cast<AVPixelFormat>(frame.format), size.width,
                                size.height, AV_PIX_FMT_RGB24, SWS_AREA, nullptr, nullptr, nullptr);
    if (sws_ == nullptr) return false;
    rgb_.resize(static_cast<size_t>(size.width) * size.height * 3);
    uint8_t* destination[4] = {rgb_.data(), nullptr, nullptr, nullptr};
    const int destinationStride[4] = {size.width * 3, 0, 0, 0};
    if (sws_scale(sws_, planes, frame.linesize, 0, area.height, destination, destinationStride) != size.height) {
        return false;
    }
    width_ = size.width;
    height_ = size.height;
    return true;
}
