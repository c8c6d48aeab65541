#include "tests/support/deep_colour_encoder.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/opt.h>
#include <libavutil/pixdesc.h>
#include <libswscale/swscale.h>
}

#include "tools/recording/annex_b.h"

namespace {

struct Encoder {
    AVCodecContext* ctx = nullptr;
    AVFrame* frame = nullptr;
    AVPacket* packet = nullptr;
    SwsContext* sws = nullptr;
    ~Encoder() {
        avcodec_free_context(&ctx);
        av_frame_free(&frame);
        av_packet_free(&packet);
        sws_freeContext(sws);
    }
};

bool Open(Encoder& e, AVPixelFormat format, int width, int height, std::string& error) {
    const AVCodec* codec = avcodec_find_encoder_by_name("libx265");
    if (codec == nullptr) {
        error = "no libx265 encoder";
        return false;
    }
    e.ctx = avcodec_alloc_context3(codec);
    e.ctx->width = width;
    e.ctx->height = height;
    e.ctx->time_base = AVRational{1, 25};
    e.ctx->pix_fmt = format;
    e.ctx->max_b_frames = 0;
    AVDictionary* options = nullptr;
    av_dict_set(&options, "preset", "ultrafast", 0);
    av_dict_set(&options, "tune", "zerolatency", 0);
    av_dict_set(&options, "x265-params", "bframes=0:repeat-headers=1:info=0:log-level=error", 0);
    const int opened = avcodec_open2(e.ctx, codec, &options);
    av_dict_free(&options);
    if (opened < 0) {
        error = "libx265 does not take this pixel format";
        return false;
    }
    e.frame = av_frame_alloc();
    e.frame->format = format;
    e.frame->width = width;
    e.frame->height = height;
    e.packet = av_packet_alloc();
    e.sws = sws_getContext(width, height, AV_PIX_FMT_RGB24, width, height, format, SWS_BICUBIC,
                           nullptr, nullptr, nullptr);
    if (av_frame_get_buffer(e.frame, 0) < 0 || e.sws == nullptr) {
        error = "cannot set up the pictures";
        return false;
    }
    return true;
}

void Drain(Encoder& e, std::vector<uint8_t>& es) {
    while (avcodec_receive_packet(e.ctx, e.packet) == 0) {
        const auto units = ToFourByteStartCodes(e.packet->data, size_t(e.packet->size));
        es.insert(es.end(), units.begin(), units.end());
        av_packet_unref(e.packet);
    }
}

}  // namespace

bool EncodeSolidPicturesAs(const std::string& pixelFormat, int width, int height,
                           const std::vector<std::array<uint8_t, 3>>& colours,
                           std::vector<uint8_t>& es, std::string& error) {
    const AVPixelFormat format = av_get_pix_fmt(pixelFormat.c_str());
    if (format == AV_PIX_FMT_NONE) {
        error = "unknown pixel format " + pixelFormat;
        return false;
    }
    Encoder e;
    if (!Open(e, format, width, height, error)) return false;
    std::vector<uint8_t> rgb(size_t(width) * height * 3);
    for (size_t i = 0; i < colours.size(); ++i) {
        for (size_t p = 0; p < rgb.size(); p += 3) {
            rgb[p] = colours[i][0], rgb[p + 1] = colours[i][1], rgb[p + 2] = colours[i][2];
        }
        av_frame_make_writable(e.frame);
        const uint8_t* planes[1] = {rgb.data()};
        const int strides[1] = {width * 3};
        sws_scale(e.sws, planes, strides, 0, height, e.frame->data, e.frame->linesize);
        e.frame->pts = static_cast<int64_t>(i);
        if (avcodec_send_frame(e.ctx, e.frame) < 0) {
            error = "encoder refused a picture";
            return false;
        }
        Drain(e, es);
    }
    avcodec_send_frame(e.ctx, nullptr);
    Drain(e, es);
    return true;
}
