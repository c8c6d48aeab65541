#include "lib/export/stream_probe.h"

#include <cstring>

#include "core/ffmpeg/quiet_log.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/log.h>
#include <libavutil/mem.h>
}

// Opened with parameter sets as extradata, FFmpeg's HEVC decoder exports the
// first SPS's values (size, profile, has_b_frames) without a picture.
int ProbeReorderDelay(const std::vector<uint8_t>& parameterSets) {
    if (parameterSets.empty()) return 0;
    const AVCodec* codec = avcodec_find_decoder(AV_CODEC_ID_HEVC);
    AVCodecContext* context = avcodec_alloc_context3(codec);
    if (context == nullptr) return 0;
    context->log_level_offset = quiet_log::kHeaderReaderOffset;
    context->extradata =
        static_cast<uint8_t*>(av_mallocz(parameterSets.size() + AV_INPUT_BUFFER_PADDING_SIZE));
    int delay = 0;
    if (context->extradata != nullptr) {
        std::memcpy(context->extradata, parameterSets.data(), parameterSets.size());
        context->extradata_size = static_cast<int>(parameterSets.size());
        if (avcodec_open2(context, codec, nullptr) == 0) delay = context->has_b_frames;
    }
    avcodec_free_context(&context);
    return delay;
}
