#include "core/decode/video_decoder.h"

#include <cstdio>

namespace video_decoder {

namespace {
constexpr int32_t kOpenFailed = -14;
}

int32_t Open(int32_t threads, const AVCodec*& codec, AVCodecContext*& context, AVPacket*& packet,
             AVFrame*& frame) {
    codec = avcodec_find_decoder(AV_CODEC_ID_HEVC);
    if (codec == nullptr) {
        std::printf("video decoder not found");
        return AVERROR_DECODER_NOT_FOUND;
    }
    context = avcodec_alloc_context3(codec);
    if (context == nullptr) return AVERROR(ENOMEM);
    context->lowres = codec->max_lowres;
    context->flags2 |= AV_CODEC_FLAG2_FAST;
    if (threads != 1) {
        context->thread_count = threads;
        context->thread_type = FF_THREAD_FRAME;
    }
    if (avcodec_open2(context, codec, nullptr) < 0) {
        std::printf("open video codec error");
        return kOpenFailed;
    }
    packet = av_packet_alloc();
    frame = av_frame_alloc();
    return 0;
}

// Freeing, not only closing: a closed context and an unreferenced packet
// would still hold their own allocations.
void Free(AVCodecContext*& context, AVPacket*& packet, AVFrame*& frame) {
    if (context) avcodec_free_context(&context);
    if (frame) av_frame_free(&frame);
    if (packet) {
        packet->data = nullptr;
        packet->size = 0;
        av_packet_free(&packet);
    }
}

bool Send(AVCodecContext* context, AVPacket* packet, const uint8_t* data, int32_t size, int64_t tag) {
    packet->data = const_cast<uint8_t*>(data);
    packet->size = size;
    packet->pts = tag;
    // FFmpeg copies `opaque` into the context of the frame thread that takes
    // this packet, so the decoder's messages name their picture even when
    // they come from that thread, later.
    context->opaque = reinterpret_cast<void*>(static_cast<intptr_t>(tag));
    const int sent = avcodec_send_packet(context, packet);
    packet->data = nullptr;
    packet->size = 0;
    return sent == 0;
}

}  // namespace video_decoder
