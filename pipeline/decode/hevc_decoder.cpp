// The HEVC decoder and the conversion of its pictures to packed RGB.

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <vector>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/imgutils.h>
#include <libavutil/mem.h>
#include <libswscale/swscale.h>
}

#include "core/format/nal_unit.h"
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
    if (decoderThreads != 1) {
        codecCtx->thread_count = decoderThreads;
        codecCtx->thread_type = FF_THREAD_FRAME;
    }
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

// Telemetry is taken out first; every other unit goes on towards the decoder.
// An end unit drains the decoder once its header byte has arrived, so that
// the last pictures of a stream are not left inside it.
void DecodeData::HandleNal(const uint8_t* unit, int32_t length) {
    if (onNal) onNal(unit, length);
    if (CaptureTelemetry(unit, length)) {
        if (onTelemetry) onTelemetry(telemetry);
        assembly.pictureOpen = false;
    } else if (DecoderReady()) {
        RouteUnit(unit, length);
    }
    const int following = FollowingHeaderByte(unit, length);
    if (DecoderReady() && following >= 0 && nal_unit::IsEndType(nal_unit::TypeOf(following))) {
        EndOfStream();
    }
}

// Borrowed, not reference-counted: the decoder copies what it keeps. The
// timestamp carries the picture's tag through the decoder's reordering.
void DecodeData::SendPacket(const uint8_t* data, int32_t size, const TelemetryRecord& record, int64_t tag) {
    if (onPacket) onPacket(data, size, tag);
    packet->data = const_cast<uint8_t*>(data);
    packet->size = size;
    packet->pts = tag;
    assembly.decodingTag = tag;
    // FFmpeg copies `opaque` into the context of the frame thread that takes
    // this packet, so the decoder's messages name their picture even when
    // they come from that thread, later.
    codecCtx->opaque = reinterpret_cast<void*>(static_cast<intptr_t>(tag));
    const int sent = avcodec_send_packet(codecCtx, packet);
    packet->data = nullptr;
    packet->size = 0;
    if (sent != 0) return;
    assembly.drained = false;
    ReceivePictures(record);
}

// EAGAIN (needs more input), EOF and every error end the pictures for now.
// A picture comes out with the tag its packet carried in, which finds the
// record sent with it even when the decoder has reordered it.
void DecodeData::ReceivePictures(const TelemetryRecord& current) {
    while (avcodec_receive_frame(codecCtx, frame) >= 0) {
        assembly.shownTag = frame->pts;
        ConvertAndShow(RecordOfPicture(frame->pts, current));
    }
}

// Pictures the decoder holds back for reordering come out only when it is
// told that no more input follows; afterwards it must be reset to take more.
void DecodeData::DrainDecoder() {
    if (assembly.drained) return;
    assembly.drained = true;
    if (avcodec_send_packet(codecCtx, nullptr) == 0) ReceivePictures(telemetry);
    avcodec_flush_buffers(codecCtx);
}

// A single thread hands a picture back as soon as the decoder may show it;
// frame threads hold the last few until they are drained. Of those, the ones
// a single thread would still hold for reordering (the stream's reorder
// delay, the last in display order) stay unshown, as they would with one
// thread, so that the count does not depend on the threads.
void DecodeData::FinishDecoding() {
    if (decoderThreads == 1 || !DecoderReady() || assembly.drained) return;
    assembly.drained = true;
    std::vector<AVFrame*> held;
    if (avcodec_send_packet(codecCtx, nullptr) == 0) {
        while (avcodec_receive_frame(codecCtx, frame) >= 0) {
            held.push_back(av_frame_clone(frame));
            av_frame_unref(frame);
        }
    }
    const size_t reorderHeld = static_cast<size_t>(std::max(0, codecCtx->has_b_frames));
    const size_t shown = held.size() > reorderHeld ? held.size() - reorderHeld : 0;
    for (size_t i = 0; i < held.size(); ++i) {
        if (i < shown && held[i] != nullptr) {
            av_frame_move_ref(frame, held[i]);
            assembly.shownTag = frame->pts;
            ConvertAndShow(RecordOfPicture(frame->pts, telemetry));
            av_frame_unref(frame);
        }
        av_frame_free(&held[i]);
    }
    avcodec_flush_buffers(codecCtx);
}

// A picture that cannot be converted is dropped; the loop above still drains
// the decoder, so that the next unit is not refused for pictures left in it.
void DecodeData::ConvertAndShow(const TelemetryRecord& record) {
    if (frame->width != picWidth || frame->height != picHeight || frame->format != srcFormat) {
        ReconfigureConversion();
    }
    if (swsCtx == nullptr) {
        std::printf("sws_getContext failed\n");
        return;
    }
    if (rgbBuf == nullptr) return;
    const bool observed = ObserverLooks();
    smallPictureMade_ = observed && !smallPictureBox.Empty() && MakeSmallPicture();
    if (!windowEnabled && (!observed || smallPictureMade_)) {
        ShowFrame(nullptr, record);
        return;
    }
    const int rows = sws_scale(swsCtx, frame->data, frame->linesize, 0, frame->height, dstData,
                               dstLinesize);
    if (rows < 1 || rows != frame->height) {
        smallPictureMade_ = false;
        return;
    }
    ShowFrame(rgbBuf, record);
}

// The conversion is most of a picture's cost after decoding; tools that only
// count pictures or take their records skip it, and those that want small
// pictures take them from the decoded picture.
bool DecodeData::ObserverLooks() const {
    return onPicture && (!pixelsWanted || pixelsWanted());
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
