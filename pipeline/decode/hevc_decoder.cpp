// The HEVC decoder and the conversion of its pictures to packed RGB: the
// decoding steps, run on this object's own fields.

extern "C" {
#include <libavformat/avformat.h>
}

#include "core/decode/decode_steps.h"
#include "core/decode/video_decoder.h"
#include "core/session/payload_steps.h"
#include "pipeline/decode_data.h"

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
    return video_decoder::Open(decoderThreads, codec, codecCtx, packet, frame);
}

void DecodeData::HandleNal(const uint8_t* unit, int32_t length) { payload_steps::HandleUnit(*this, unit, length); }

void DecodeData::EndOfStream() { payload_steps::EndOfStream(*this); }

void DecodeData::FinishDecoding() { decode_steps::FinishDecoding(*this); }
