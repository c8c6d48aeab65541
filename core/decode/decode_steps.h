#pragma once
// Packets in, pictures out: the decoder's side of the path, run on its
// owner's fields (named as the player names them). The owner has
//   codecCtx, packet, frame                the decoder's handles
//   picWidth ... dstLinesize               the RGB conversion's fields
//   telemetry                              the record current now
//   assembly                               the PictureAssembler
//   decoding                               a DecodeBookkeeping
//   decoderThreads, videoType, windowEnabled, smallPictureBox,
//   onPacket, onPicture, pixelsWanted      as the player's pipeline has them
//   ShowFrame(picture, record)             what becomes of each picture
// Everything runs on the thread that feeds the packets.

#include <cstdint>
#include <cstdio>

#include "core/decode/rgb_conversion.h"
#include "core/decode/small_copy.h"
#include "core/decode/video_decoder.h"
#include "core/format/nal_unit.h"
#include "core/format/telemetry_record.h"
#include "core/present/channel_crop.h"

// What the steps below keep between packets.
struct DecodeBookkeeping {
    // The picture whose packet is being decoded, to blame the decoder's
    // messages on, and the picture being shown, for the picture observer.
    int64_t decodingTag = 0;
    int64_t shownTag = 0;
    // Nothing was sent since the decoder was last drained.
    bool drained = true;
    // The small copy for the observer, and whether this picture has one.
    SmallCopy small;
    bool smallMade = false;
};

namespace decode_steps {

// The packet and picture objects exist only once the decoder has opened.
template <typename O>
bool DecoderReady(const O& o) {
    return o.packet != nullptr && o.frame != nullptr;
}

// The conversion is most of a picture's cost after decoding; observers that
// only count pictures or take their records skip it, and those that want
// small pictures take them from the decoded picture.
template <typename O>
bool ObserverLooks(const O& o) {
    return o.onPicture && (!o.pixelsWanted || o.pixelsWanted());
}

// A picture that cannot be converted is dropped; the decoder is still
// drained, so that the next unit is not refused for pictures left in it.
template <typename O>
void ConvertAndShow(O& o, const TelemetryRecord& record) {
    const AVFrame& picture = *o.frame;
    if (rgb_conversion::Outdated(o, picture)) rgb_conversion::Reconfigure(o, picture);
    if (o.swsCtx == nullptr) {
        std::printf("sws_getContext failed\n");
        return;
    }
    if (o.rgbBuf == nullptr) return;
    const bool observed = ObserverLooks(o);
    o.decoding.smallMade =
        observed && !o.smallPictureBox.Empty() &&
        o.decoding.small.Make(picture, channel_crop::ShownArea(o.videoType, picture.width, picture.height),
                              o.smallPictureBox);
    if (!o.windowEnabled && (!observed || o.decoding.smallMade)) {
        o.ShowFrame(nullptr, record);
        return;
    }
    if (!rgb_conversion::Convert(o, picture)) {
        o.decoding.smallMade = false;
        return;
    }
    o.ShowFrame(o.rgbBuf, record);
}

// A picture comes out with the tag its packet carried in, which finds the
// record sent with it even when the decoder has reordered it.
template <typename O>
void ShowDecoded(O& o, const TelemetryRecord& current) {
    o.decoding.shownTag = o.frame->pts;
    ConvertAndShow(o, o.assembly.RecordOf(o.frame->pts, current));
}

template <typename O>
void ReceivePictures(O& o, const TelemetryRecord& current) {
    video_decoder::ReceiveEach(o.codecCtx, o.frame, [&o, &current] { ShowDecoded(o, current); });
}

// A filler unit with a well-formed header, which the decoder skips without
// a word whatever follows the header.
inline bool IsPlainFiller(const uint8_t* data, int32_t size) {
    constexpr uint8_t kHeader[] = {nal_unit::kFillerData << 1, 1};  // layer 0, temporal id 0
    return size >= nal_unit::kStartCodeSize + 2 && data[nal_unit::kStartCodeSize] == kHeader[0] &&
           data[nal_unit::kStartCodeSize + 1] == kHeader[1];
}

// Borrowed, not reference-counted: the decoder copies what it keeps.
template <typename O>
void SendPacket(O& o, const uint8_t* data, int32_t size, const TelemetryRecord& record, int64_t tag) {
    if (o.onPacket) o.onPacket(data, size, tag);
    // Frame threads take packets in turn, each waiting for its thread's
    // last one, and a packet of filler alone would hold a turn for nothing:
    // at one filler unit a picture, as the link pads its stream, half as
    // many pictures in flight. One thread is left its packets as they are.
    if (o.decoderThreads != 1 && IsPlainFiller(data, size)) return;
    o.decoding.decodingTag = tag;
    if (!video_decoder::Send(o.codecCtx, o.packet, data, size, tag)) return;
    o.decoding.drained = false;
    ReceivePictures(o, record);
}

template <typename O>
void DrainDecoder(O& o) {
    if (o.decoding.drained) return;
    o.decoding.drained = true;
    video_decoder::Drain(o.codecCtx, o.frame, [&o] { ShowDecoded(o, o.telemetry); });
}

// With decoding threads, shows at the end of the input what a single thread
// would have shown by then; a single thread has shown it already.
template <typename O>
void FinishDecoding(O& o) {
    if (o.decoderThreads == 1 || !DecoderReady(o) || o.decoding.drained) return;
    o.decoding.drained = true;
    video_decoder::DrainAsOneThread(o.codecCtx, o.frame, [&o] { ShowDecoded(o, o.telemetry); });
}

}  // namespace decode_steps
