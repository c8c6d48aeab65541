// The HEVC decoder and the conversion of its pictures to packed RGB.

#include <cstdio>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/imgutils.h>
#include <libavutil/mem.h>
#include <libswscale/swscale.h>
}

#include "pipeline/decode_data.h"

namespace {
constexpr int32_t kOpenFailed = -14;
}

int32_t DecodeData::OpenDecoder() {
    codecOptions = nullptr;
    formatOptions = nullptr;
    formatCtx = nullptr;
    codecCtx = nullptr;
    packet = nullptr;
    frame = nullptr;
    swsCtx = nullptr;
    codec = nullptr;
    if (!libRegistered) {
        // Codec registration is implicit in this FFmpeg series; only the
        // network layer still has a one-time set-up.
        avformat_network_init();
        libRegistered = true;
    }
    codec = avcodec_find_decoder(AV_CODEC_ID_HEVC);
    if (codec == nullptr) {
        std::printf("video decoder not found");
        return AVERROR_DECODER_NOT_FOUND;
    }
    codecCtx = avcodec_alloc_context3(codec);
    if (codecCtx == nullptr) return AVERROR(ENOMEM);
    codecCtx->lowres = codec->max_lowres;
    codecCtx->flags2 |= AV_CODEC_FLAG2_FAST;
    if (avcodec_open2(codecCtx, codec, nullptr) < 0) {
        std::printf("open video codec error");
        return kOpenFailed;
    }
    packet = av_packet_alloc();
    frame = av_frame_alloc();
    return 0;
}

// The packet and picture objects exist only once the decoder has opened.
bool DecodeData::DecoderReady() const { return packet != nullptr && frame != nullptr; }

void DecodeData::HandleNal(const uint8_t* unit, int32_t length) {
    if (onNal) onNal(unit, length);
    if (CaptureTelemetry(unit, length)) {
        if (onTelemetry) onTelemetry(telemetry);
        return;
    }
    if (!DecoderReady()) return;
    DecodeUnit(unit, length);
}

void DecodeData::DecodeUnit(const uint8_t* unit, int32_t length) {
    // Borrowed, not reference-counted: the decoder copies what it keeps.
    packet->data = const_cast<uint8_t*>(unit);
    packet->size = length;
    const int sent = avcodec_send_packet(codecCtx, packet);
    packet->data = nullptr;
    packet->size = 0;
    if (sent != 0) return;
    // EAGAIN (needs more input) and every error end the pictures of this unit.
    while (avcodec_receive_frame(codecCtx, frame) >= 0) ConvertAndShow();
}

// A picture that cannot be converted is dropped; the loop above still drains
// the decoder, so that the next unit is not refused for pictures left in it.
void DecodeData::ConvertAndShow() {
    if (frame->width != picWidth || frame->height != picHeight || frame->format != srcFormat) {
        ReconfigureConversion();
    }
    if (swsCtx == nullptr) {
        std::printf("sws_getContext failed\n");
        return;
    }
    if (rgbBuf == nullptr) return;
    const int rows = sws_scale(swsCtx, frame->data, frame->linesize, 0, frame->height, dstData,
                               dstLinesize);
    if (rows < 1 || rows != frame->height) return;
    const TelemetryRecord record = telemetry;
    ShowFrame(rgbBuf, record);
}

void DecodeData::ReconfigureConversion() {
    picWidth = frame->width;
    picHeight = frame->height;
    srcFormat = frame->format;
    dstFormat = AV_PIX_FMT_RGB24;
    if (swsCtx != nullptr) sws_freeContext(swsCtx);
    swsCtx = sws_getContext(picWidth, picHeight, static_cast<AVPixelFormat>(srcFormat), picWidth,
                            picHeight, AV_PIX_FMT_RGB24, SWS_BICUBIC, nullptr, nullptr, nullptr);
    if (rgbBuf != nullptr) {
        av_free(rgbBuf);
        rgbBuf = nullptr;
    }
    const int size = av_image_get_buffer_size(AV_PIX_FMT_RGB24, picWidth, picHeight, 1);
    if (size > 0) rgbBuf = static_cast<uint8_t*>(av_malloc(static_cast<size_t>(size)));
    dstData[0] = rgbBuf;
    dstLinesize[0] = picWidth * 3;
    // Without a buffer, the next picture sets the conversion up again.
    if (rgbBuf == nullptr) picWidth = 0;
}
