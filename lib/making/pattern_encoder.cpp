#include "lib/making/pattern_encoder.h"

#include <algorithm>
#include <cstring>
#include <memory>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/error.h>
#include <libavutil/frame.h>
#include <libavutil/opt.h>
#include <libavutil/pixdesc.h>
#include <libswscale/swscale.h>
}

#include "core/demux/annex_b.h"

namespace {

constexpr size_t kSourcePadding = 64;

struct EncoderDeleter {
    void operator()(AVCodecContext* c) const { avcodec_free_context(&c); }
    void operator()(AVFrame* f) const { av_frame_free(&f); }
    void operator()(AVPacket* p) const { av_packet_free(&p); }
    void operator()(SwsContext* s) const { sws_freeContext(s); }
};
template <typename T>
using Owned = std::unique_ptr<T, EncoderDeleter>;

std::string AvError(const char* what, int code) {
    char text[AV_ERROR_MAX_STRING_SIZE] = {0};
    av_strerror(code, text, sizeof text);
    return std::string(what) + ": " + text;
}

std::string X265Params(const PatternOptions& o) {
    const std::string k = std::to_string(o.keyint);
    // Without B-frames and lookahead each picture leaves the decoder as soon
    // as its slices have gone in. Parameter sets at every key picture let a
    // receiver join mid-stream; info=0 leaves out the encoder's version SEI.
    std::string p = "bframes=" + std::to_string(o.bframes) + ":keyint=" + k + ":min-keyint=" + k +
                    ":scenecut=0:repeat-headers=1:info=0:slices=" + std::to_string(o.slices) +
                    ":log-level=error";
    // B-frames need pictures to look ahead at; the zero-latency tuning has none.
    if (o.bframes > 0) p += ":rc-lookahead=" + std::to_string(o.bframes + 1) + ":b-adapt=0";
    if (!o.openGop) p += ":open-gop=0";
    if (o.accessUnitDelimiters) p += ":aud=1";
    if (o.bitrateKbps > 0) {
        const std::string rate = std::to_string(o.bitrateKbps);
        p += ":vbv-maxrate=" + rate + ":vbv-bufsize=" + std::to_string(o.bitrateKbps / 2);
    }
    return p;
}

bool ValidOptions(const PatternOptions& o, std::string& error) {
    if (o.width < 16 || o.height < 16 || o.width > 8192 || o.height > 4320 || o.width % 2 || o.height % 2) {
        error = "picture size must be even, from 16x16 to 8192x4320";
    } else if (o.frames < 1) {
        error = "at least one picture is needed";
    } else if (o.fps < 1 || o.fps > 240) {
        error = "frame rate must be 1 to 240";
    } else if (o.keyint < 1 || o.bitrateKbps < 0) {
        error = "key interval must be at least 1 and the bitrate not negative";
    } else if (o.slices < 1 || o.slices > 16 || o.bframes < 0 || o.bframes > 16) {
        error = "slices must be 1 to 16 and B-frames 0 to 16";
    } else if (av_get_pix_fmt(o.pixelFormat.c_str()) == AV_PIX_FMT_NONE) {
        error = "unknown pixel format " + o.pixelFormat;
    } else {
        return true;
    }
    return false;
}

Owned<AVCodecContext> OpenEncoder(const PatternOptions& o, std::string& error) {
    const AVCodec* codec = avcodec_find_encoder_by_name("libx265");
    if (codec == nullptr) {
        error = "libavcodec has no libx265 encoder";
        return nullptr;
    }
    Owned<AVCodecContext> ctx(avcodec_alloc_context3(codec));
    if (!ctx) {
        error = "cannot allocate the encoder";
        return nullptr;
    }
    ctx->width = o.width;
    ctx->height = o.height;
    ctx->time_base = AVRational{1, o.fps};
    ctx->framerate = AVRational{o.fps, 1};
    ctx->pix_fmt = av_get_pix_fmt(o.pixelFormat.c_str());
    ctx->gop_size = o.keyint;
    ctx->max_b_frames = o.bframes;
    if (o.bitrateKbps > 0) ctx->bit_rate = static_cast<int64_t>(o.bitrateKbps) * 1000;
    AVDictionary* options = nullptr;
    av_dict_set(&options, "preset", "ultrafast", 0);
    av_dict_set(&options, "tune", "zerolatency", 0);
    av_dict_set(&options, "x265-params", X265Params(o).c_str(), 0);
    const int opened = avcodec_open2(ctx.get(), codec, &options);
    av_dict_free(&options);
    if (opened < 0) {
        error = AvError("cannot open libx265", opened);
        return nullptr;
    }
    return ctx;
}

// Takes every packet the encoder has ready; its start codes are made 4-byte.
// A packet's time stamp is the index of the picture it codes.
bool Drain(AVCodecContext* ctx, AVPacket* packet, std::vector<uint8_t>& es, std::vector<int>* streamOrder,
           std::string& error) {
    for (;;) {
        const int r = avcodec_receive_packet(ctx, packet);
        if (r == AVERROR(EAGAIN) || r == AVERROR_EOF) return true;
        if (r < 0) {
            error = AvError("encoding failed", r);
            return false;
        }
        const std::vector<uint8_t> units =
            ToFourByteStartCodes(packet->data, static_cast<size_t>(packet->size));
        es.insert(es.end(), units.begin(), units.end());
        if (streamOrder != nullptr) streamOrder->push_back(static_cast<int>(packet->pts));
        av_packet_unref(packet);
    }
}

bool EncodeOne(AVCodecContext* ctx, AVFrame* frame, AVPacket* packet, std::vector<uint8_t>& es,
               std::vector<int>* streamOrder, std::string& error) {
    const int sent = avcodec_send_frame(ctx, frame);
    if (sent < 0) {
        error = AvError("encoder refused a picture", sent);
        return false;
    }
    return Drain(ctx, packet, es, streamOrder, error);
}

struct Converter {
    Owned<SwsContext> sws;
    Owned<AVFrame> frame;
    std::vector<uint8_t> rgb;
};

bool MakeConverter(const PatternOptions& o, Converter& c, std::string& error) {
    const AVPixelFormat format = av_get_pix_fmt(o.pixelFormat.c_str());
    c.sws.reset(sws_getContext(o.width, o.height, AV_PIX_FMT_RGB24, o.width, o.height, format, SWS_BICUBIC,
                               nullptr, nullptr, nullptr));
    c.frame.reset(av_frame_alloc());
    if (!c.sws || !c.frame) {
        error = "cannot set up the colour conversion";
        return false;
    }
    c.frame->format = format;
    c.frame->width = o.width;
    c.frame->height = o.height;
    if (av_frame_get_buffer(c.frame.get(), 0) < 0) {
        error = "cannot allocate a picture";
        return false;
    }
    // swscale's vector code reads up to a few dozen bytes past a row's end:
    // past the last row, that lay outside the buffer, and a picture whose
    // buffer ended at a page boundary (a sanitizer's allocator puts some
    // there) faulted.
    c.rgb.assign(static_cast<size_t>(o.width) * o.height * 3 + kSourcePadding, 0);
    return true;
}

bool Convert(Converter& c, int index, std::string& error) {
    if (av_frame_make_writable(c.frame.get()) < 0) {
        error = "cannot write a picture";
        return false;
    }
    const uint8_t* planes[1] = {c.rgb.data()};
    const int strides[1] = {c.frame->width * 3};
    sws_scale(c.sws.get(), planes, strides, 0, c.frame->height, c.frame->data, c.frame->linesize);
    c.frame->pts = index;
    return true;
}

// A 3 x 5 dot font for the picture number.
constexpr uint16_t kDigitGlyphs[10] = {0x7B6F, 0x2C97, 0x73E7, 0x73CF, 0x5BC9,
                                       0x79CF, 0x79EF, 0x7249, 0x7BEF, 0x7BCF};

void FillRect(uint8_t* rgb, int width, int height, int x0, int y0, int w, int h, const uint8_t (&c)[3]) {
    for (int y = std::max(0, y0); y < std::min(height, y0 + h); ++y) {
        for (int x = std::max(0, x0); x < std::min(width, x0 + w); ++x) {
            std::memcpy(rgb + (static_cast<size_t>(y) * width + x) * 3, c, 3);
        }
    }
}

void DrawNumber(uint8_t* rgb, int width, int height, int number) {
    const std::string digits = std::to_string(number);
    const int dot = std::max(1, height / 25);
    const int advance = 4 * dot;
    const int x0 = (width - advance * static_cast<int>(digits.size()) + dot) / 2;
    const int y0 = (height - 5 * dot) / 2;
    const uint8_t box[3] = {32, 32, 32}, ink[3] = {255, 255, 255};
    FillRect(rgb, width, height, x0 - dot, y0 - dot, advance * static_cast<int>(digits.size()) + dot, 7 * dot,
             box);
    for (size_t d = 0; d < digits.size(); ++d) {
        const uint16_t glyph = kDigitGlyphs[digits[d] - '0'];
        for (int bit = 0; bit < 15; ++bit) {
            if ((glyph >> (14 - bit) & 1) == 0) continue;
            FillRect(rgb, width, height, x0 + static_cast<int>(d) * advance + (bit % 3) * dot,
                     y0 + (bit / 3) * dot, dot, dot, ink);
        }
    }
}

}  // namespace

bool EncodePictures(const PatternOptions& options, const PictureDrawer& draw, std::vector<uint8_t>& es,
                    std::string& error, std::vector<int>* streamOrder) {
    es.clear();
    if (streamOrder != nullptr) streamOrder->clear();
    if (!ValidOptions(options, error)) return false;
    Owned<AVCodecContext> ctx = OpenEncoder(options, error);
    Converter converter;
    Owned<AVPacket> packet(av_packet_alloc());
    if (!ctx || !MakeConverter(options, converter, error)) return false;
    if (!packet) {
        error = "cannot allocate a packet";
        return false;
    }
    for (int i = 0; i < options.frames; ++i) {
        draw(i, options.width, options.height, converter.rgb.data());
        if (!Convert(converter, i, error) ||
            !EncodeOne(ctx.get(), converter.frame.get(), packet.get(), es, streamOrder, error)) {
            return false;
        }
        if (options.progress) options.progress(i + 1, options.frames);
    }
    return EncodeOne(ctx.get(), nullptr, packet.get(), es, streamOrder, error);
}

void DrawTestPattern(int index, int width, int height, uint8_t* rgb) {
    static const uint8_t kBars[8][3] = {{235, 235, 235}, {235, 235, 16}, {16, 235, 235}, {16, 235, 16},
                                        {235, 16, 235},  {235, 16, 16},  {16, 16, 235},  {16, 16, 16}};
    // The bars scroll one bar width every 25 pictures.
    const int barWidth = std::max(1, width / 8);
    const int shift = index * barWidth / 25;
    for (int x = 0; x < width; ++x) {
        const uint8_t* c = kBars[((x + shift) / barWidth) % 8];
        for (int y = 0; y < height; ++y) std::memcpy(rgb + (static_cast<size_t>(y) * width + x) * 3, c, 3);
    }
    // A marker runs along the bottom once a second at 25 pictures a second.
    const uint8_t marker[3] = {255, 128, 0};
    const int side = std::max(2, height / 16);
    FillRect(rgb, width, height, (index % 25) * (width - side) / 24, height - side, side, side, marker);
    DrawNumber(rgb, width, height, index + 1);
}

bool EncodeTestPattern(const PatternOptions& options, std::vector<uint8_t>& es, std::string& error) {
    return EncodePictures(options, DrawTestPattern, es, error);
}

std::vector<uint8_t> CornerMarkedPicture(int width, int height, int block) {
    std::vector<uint8_t> rgb(static_cast<size_t>(width) * height * 3, 128);
    const uint8_t red[3] = {255, 0, 0}, green[3] = {0, 255, 0}, blue[3] = {0, 0, 255},
                  white[3] = {255, 255, 255};
    FillRect(rgb.data(), width, height, 0, 0, block, block, red);
    FillRect(rgb.data(), width, height, width - block, 0, block, block, green);
    FillRect(rgb.data(), width, height, 0, height - block, block, block, blue);
    FillRect(rgb.data(), width, height, width - block, height - block, block, block, white);
    return rgb;
}
