#include "tests/robustness/support/hevc_pictures.h"

#include <stdexcept>
#include <string>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/frame.h>
#include <libavutil/opt.h>
}

namespace {

// Splits at 3-byte start codes; a 4-byte one leaves its leading zero on the
// end of the unit before it, and unit payloads never end in a zero byte.
std::vector<Bytes> SplitAnnexB(const uint8_t* data, size_t size) {
    std::vector<size_t> starts;
    for (size_t i = 0; i + 3 <= size; ++i) {
        if (data[i] == 0 && data[i + 1] == 0 && data[i + 2] == 1) {
            starts.push_back(i + 3);
            i += 2;
        }
    }
    std::vector<Bytes> units;
    for (size_t k = 0; k < starts.size(); ++k) {
        size_t end = k + 1 < starts.size() ? starts[k + 1] - 3 : size;
        while (end > starts[k] && data[end - 1] == 0) --end;
        units.emplace_back(data + starts[k], data + end);
    }
    return units;
}

Bytes WithFourByteStartCodes(const AVPacket& packet) {
    Bytes out;
    for (const Bytes& unit : SplitAnnexB(packet.data, static_cast<size_t>(packet.size))) {
        out.insert(out.end(), {0x00, 0x00, 0x00, 0x01});
        out.insert(out.end(), unit.begin(), unit.end());
    }
    return out;
}

// A gradient that moves with the picture index and a bright square, so that
// consecutive pictures differ but stay cheap to encode.
void PaintScene(AVFrame* frame, int index) {
    const int side = frame->width / 4 > 0 ? frame->width / 4 : 1;
    const int left = (index * 8) % (frame->width > side ? frame->width - side : 1);
    for (int y = 0; y < frame->height; ++y) {
        uint8_t* row = frame->data[0] + y * frame->linesize[0];
        for (int x = 0; x < frame->width; ++x) {
            const bool inSquare = x >= left && x < left + side && y < side;
            row[x] = inSquare ? 235 : static_cast<uint8_t>((x + y + 4 * index) & 0x7F);
        }
    }
    for (int plane = 1; plane < 3; ++plane) {
        for (int y = 0; y < frame->height / 2; ++y) {
            uint8_t* row = frame->data[plane] + y * frame->linesize[plane];
            for (int x = 0; x < frame->width / 2; ++x) row[x] = static_cast<uint8_t>(96 + plane * 32);
        }
    }
}

void Check(bool ok, const char* what) {
    if (!ok) throw std::runtime_error(std::string("x265 encoding: ") + what);
}

AVCodecContext* OpenEncoder(const PictureRequest& request) {
    const AVCodec* encoder = avcodec_find_encoder_by_name("libx265");
    Check(encoder != nullptr, "libx265 encoder missing");
    AVCodecContext* ctx = avcodec_alloc_context3(encoder);
    Check(ctx != nullptr, "no context");
    ctx->width = request.width;
    ctx->height = request.height;
    ctx->pix_fmt = AV_PIX_FMT_YUV420P;
    ctx->time_base = AVRational{1, 25};
    ctx->framerate = AVRational{25, 1};
    ctx->gop_size = request.intraPeriod;
    ctx->max_b_frames = 0;
    ctx->thread_count = 1;
    const std::string params = "log-level=none:info=0:repeat-headers=1:bframes=0:scenecut=0:keyint=" +
                               std::to_string(request.intraPeriod) +
                               ":min-keyint=" + std::to_string(request.intraPeriod) +
                               ":qp=" + std::to_string(request.quantiser) + ":pools=1:frame-threads=1";
    av_opt_set(ctx->priv_data, "preset", "ultrafast", 0);
    av_opt_set(ctx->priv_data, "x265-params", params.c_str(), 0);
    Check(avcodec_open2(ctx, encoder, nullptr) == 0, "cannot open encoder");
    return ctx;
}

void Drain(AVCodecContext* ctx, AVPacket* packet, std::vector<Bytes>& out) {
    while (avcodec_receive_packet(ctx, packet) == 0) {
        out.push_back(WithFourByteStartCodes(*packet));
        av_packet_unref(packet);
    }
}

}  // namespace

std::vector<Bytes> EncodePictures(const PictureRequest& request) {
    AVCodecContext* ctx = OpenEncoder(request);
    AVFrame* frame = av_frame_alloc();
    AVPacket* packet = av_packet_alloc();
    frame->format = AV_PIX_FMT_YUV420P;
    frame->width = request.width;
    frame->height = request.height;
    Check(av_frame_get_buffer(frame, 0) == 0, "no picture buffer");

    std::vector<Bytes> units;
    for (int i = 0; i < request.count; ++i) {
        Check(av_frame_make_writable(frame) == 0, "picture not writable");
        PaintScene(frame, i);
        frame->pts = i;
        Check(avcodec_send_frame(ctx, frame) == 0, "send failed");
        Drain(ctx, packet, units);
    }
    avcodec_send_frame(ctx, nullptr);
    Drain(ctx, packet, units);

    av_packet_free(&packet);
    av_frame_free(&frame);
    avcodec_free_context(&ctx);
    return units;
}
