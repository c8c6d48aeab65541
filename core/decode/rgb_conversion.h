#pragma once
// Conversion of decoded pictures to packed RGB, the form the window and the
// picture observers take. It works on its owner's fields, named as the
// player names them: picWidth, picHeight, srcFormat, dstFormat, swsCtx,
// rgbBuf, dstData, dstLinesize.

#include <cstdint>

extern "C" {
#include <libavutil/frame.h>
#include <libavutil/imgutils.h>
#include <libavutil/mem.h>
#include <libswscale/swscale.h>
}

// The fields, for an owner that has no fields of its own to name so.
struct RgbConversionFields {
    int32_t picWidth = 0;
    int32_t picHeight = 0;
    int32_t srcFormat = 0;
    int32_t dstFormat = 0;
    SwsContext* swsCtx = nullptr;
    uint8_t* rgbBuf = nullptr;
    uint8_t* dstData[4] = {};
    int32_t dstLinesize[4] = {};
};

namespace rgb_conversion {

// The conversion was set up for another size or format than `frame`'s.
template <typename State>
bool Outdated(const State& s, const AVFrame& frame) {
    return frame.width != s.picWidth || frame.height != s.picHeight || frame.format != s.srcFormat;
}

// Sets the conversion and the RGB buffer up for `frame`'s size and format.
// Without a buffer, the next picture sets them up again.
template <typename State>
void Reconfigure(State& s, const AVFrame& frame) {
    s.picWidth = frame.width;
    s.picHeight = frame.height;
    s.srcFormat = frame.format;
    s.dstFormat = AV_PIX_FMT_RGB24;
    if (s.swsCtx != nullptr) sws_freeContext(s.swsCtx);
    s.swsCtx = sws_getContext(s.picWidth, s.picHeight, static_cast<AVPixelFormat>(s.srcFormat), s.picWidth,
                              s.picHeight, AV_PIX_FMT_RGB24, SWS_BICUBIC, nullptr, nullptr, nullptr);
    if (s.rgbBuf != nullptr) {
        av_free(s.rgbBuf);
        s.rgbBuf = nullptr;
    }
    const int size = av_image_get_buffer_size(AV_PIX_FMT_RGB24, s.picWidth, s.picHeight, 1);
    if (size > 0) s.rgbBuf = static_cast<uint8_t*>(av_malloc(static_cast<size_t>(size)));
    s.dstData[0] = s.rgbBuf;
    s.dstLinesize[0] = s.picWidth * 3;
    if (s.rgbBuf == nullptr) s.picWidth = 0;
}

// Converts `frame` into rgbBuf; false unless every row was converted.
template <typename State>
bool Convert(State& s, const AVFrame& frame) {
    const int rows = sws_scale(s.swsCtx, frame.data, frame.linesize, 0, frame.height, s.dstData, s.dstLinesize);
    return rows >= 1 && rows == frame.height;
}

// Frees the conversion and its buffer.
template <typename State>
void Free(State& s) {
    if (s.swsCtx) {
        sws_freeContext(s.swsCtx);
        s.swsCtx = nullptr;
    }
    if (s.rgbBuf) {
        av_free(s.rgbBuf);
        s.rgbBuf = nullptr;
    }
}

}  // namespace rgb_conversion
