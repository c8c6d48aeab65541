#pragma once
// FFmpeg's HEVC decoder, as every program here drives it: opened the same
// way, fed packets that borrow their bytes and carry their picture's tag as
// the time stamp, drained at a stream's end. The functions work on the
// caller's own handles.

#include <algorithm>
#include <cstdint>
#include <vector>

extern "C" {
#include <libavcodec/avcodec.h>
}

namespace video_decoder {

// Opens the decoder with `threads` decoding threads (1: each picture comes
// back before the next packet goes in; 0: as many as FFmpeg chooses) and
// allocates the packet and picture it is fed through. On failure says so on
// standard output, as the player always has, and returns FFmpeg's code.
int32_t Open(int32_t threads, const AVCodec*& codec, AVCodecContext*& context, AVPacket*& packet,
             AVFrame*& frame);

// Frees what Open made; the packet's bytes were only ever borrowed.
void Free(AVCodecContext*& context, AVPacket*& packet, AVFrame*& frame);

// Sends `size` bytes that the decoder borrows (it copies what it keeps) with
// `tag` as the time stamp; false when the decoder refused them.
bool Send(AVCodecContext* context, AVPacket* packet, const uint8_t* data, int32_t size, int64_t tag);

// Calls `shown()` for each picture the decoder hands back into `frame`.
// EAGAIN (needs more input), EOF and every error end the pictures for now.
template <typename Shown>
void ReceiveEach(AVCodecContext* context, AVFrame* frame, Shown&& shown) {
    while (avcodec_receive_frame(context, frame) >= 0) shown();
}

// Pictures the decoder holds back for reordering come out only when it is
// told that no more input follows; afterwards it is reset to take more.
template <typename Shown>
void Drain(AVCodecContext* context, AVFrame* frame, Shown&& shown) {
    if (avcodec_send_packet(context, nullptr) == 0) ReceiveEach(context, frame, shown);
    avcodec_flush_buffers(context);
}

// A single thread hands a picture back as soon as the decoder may show it;
// frame threads hold the last few until they are drained. Of those, the ones
// a single thread would still hold for reordering (the stream's reorder
// delay, the last in display order) stay unshown, as they would with one
// thread, so that what is shown does not depend on the threads.
template <typename Shown>
void DrainAsOneThread(AVCodecContext* context, AVFrame* frame, Shown&& shown) {
    std::vector<AVFrame*> held;
    if (avcodec_send_packet(context, nullptr) == 0) {
        while (avcodec_receive_frame(context, frame) >= 0) {
            held.push_back(av_frame_clone(frame));
            av_frame_unref(frame);
        }
    }
    const size_t reorderHeld = static_cast<size_t>(std::max(0, context->has_b_frames));
    const size_t count = held.size() > reorderHeld ? held.size() - reorderHeld : 0;
    for (size_t i = 0; i < held.size(); ++i) {
        if (i < count && held[i] != nullptr) {
            av_frame_move_ref(frame, held[i]);
            shown();
            av_frame_unref(frame);
        }
        av_frame_free(&held[i]);
    }
    avcodec_flush_buffers(context);
}

}  // namespace video_decoder
