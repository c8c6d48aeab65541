#include "lib/export/container_streams.h"

#include <algorithm>
#include <cstring>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/mem.h>
}

#include "lib/export/klv_st0601.h"

namespace {

// The tx3g sample entry the MP4 muxer copies into the subtitle track's
// description: no display flags, centred at the bottom, transparent box,
// default style (font 1, 18 pixels, opaque white) and a font table naming
// font 1 "Serif". mov_text decoders read styles from it.
const uint8_t kTextSampleEntry[] = {
    0x00, 0x00, 0x00, 0x00, 0x01, 0xFF, 0x00, 0x00, 0x00, 0x00,              // flags, justification, colour
    0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,                          // text box
    0x00, 0x00, 0x00, 0x00, 0x00, 0x01, 0x00, 0x12, 0xFF, 0xFF, 0xFF, 0xFF,  // style
    0x00, 0x00, 0x00, 0x12, 'f',  't',  'a',  'b',  0x00, 0x01,              // font table
    0x00, 0x01, 0x05, 'S',  'e',  'r',  'i',  'f',
};

// Both streams ask for one time base, a thousandth of a picture interval;
// the muxers may choose their own (1/90000 in a transport stream, 1/1000 in
// Matroska). The MP4 muxer compares a mov_text track's end with the decode
// time of every packet it writes, of any stream, in that packet's own time
// base: with time bases that differ it would end each subtitle early with an
// empty sample.
constexpr int kTicksPerInterval = 1000;

// A mov_text sample is the text behind its 16-bit big-endian length.
constexpr size_t kMaxMovText = 0xFFFF;

bool SetExtradata(AVCodecParameters* par, const uint8_t* data, size_t size) {
    par->extradata = static_cast<uint8_t*>(av_mallocz(size + AV_INPUT_BUFFER_PADDING_SIZE));
    if (par->extradata == nullptr) return false;
    std::memcpy(par->extradata, data, size);
    par->extradata_size = static_cast<int>(size);
    return true;
}

}  // namespace

const char* MuxerName(ContainerKind kind) {
    switch (kind) {
        case ContainerKind::kTransportStream: return "mpegts";
        case ContainerKind::kMatroska: return "matroska";
        case ContainerKind::kMp4: return "mp4";
    }
    return "";
}

const char* FormatLabel(ContainerKind kind) {
    switch (kind) {
        case ContainerKind::kTransportStream: return ".ts";
        case ContainerKind::kMatroska: return ".mkv";
        case ContainerKind::kMp4: return ".mp4";
    }
    return "";
}

AVStream* AddVideoStream(AVFormatContext* format, const VideoStreamInfo& info, int fpsNum, int fpsDen) {
    AVStream* stream = avformat_new_stream(format, nullptr);
    if (stream == nullptr) return nullptr;
    AVCodecParameters* par = stream->codecpar;
    par->codec_type = AVMEDIA_TYPE_VIDEO;
    par->codec_id = AV_CODEC_ID_HEVC;
    par->width = info.width;
    par->height = info.height;
    par->video_delay = info.reorderDelay;
    stream->time_base = AVRational{fpsDen, fpsNum * kTicksPerInterval};
    stream->avg_frame_rate = AVRational{fpsNum, fpsDen};
    stream->disposition = AV_DISPOSITION_DEFAULT;
    if (!info.parameterSets.empty() &&
        !SetExtradata(par, info.parameterSets.data(), info.parameterSets.size())) {
        return nullptr;
    }
    return stream;
}

AVStream* AddTelemetryStream(AVFormatContext* format, ContainerKind kind, int fpsNum, int fpsDen) {
    AVStream* stream = avformat_new_stream(format, nullptr);
    if (stream == nullptr) return nullptr;
    AVCodecParameters* par = stream->codecpar;
    stream->time_base = AVRational{fpsDen, fpsNum * kTicksPerInterval};
    if (kind == ContainerKind::kTransportStream) {
        par->codec_type = AVMEDIA_TYPE_DATA;
        par->codec_id = AV_CODEC_ID_SMPTE_KLV;
        stream->id = kKlvPid;  // the mpegts muxer takes a stream's id of 16 or more as its PID
        return stream;
    }
    par->codec_type = AVMEDIA_TYPE_SUBTITLE;
    // Matroska's muxer copies the flag as it stands, and a player then
    // selects no subtitle unless told to: the telemetry is what the
    // recording is viewed for.
    stream->disposition = AV_DISPOSITION_DEFAULT;
    if (kind == ContainerKind::kMatroska) {
        par->codec_id = AV_CODEC_ID_SUBRIP;
        return stream;
    }
    par->codec_id = AV_CODEC_ID_MOV_TEXT;
    return SetExtradata(par, kTextSampleEntry, sizeof kTextSampleEntry) ? stream : nullptr;
}

std::vector<uint8_t> TelemetryPayload(ContainerKind kind, const ExportedPicture& picture) {
    if (kind == ContainerKind::kTransportStream) return BuildUasLocalSet(picture);
    const std::string& text = picture.caption;
    if (kind == ContainerKind::kMatroska) return {text.begin(), text.end()};
    const size_t size = std::min(text.size(), kMaxMovText);
    std::vector<uint8_t> sample{static_cast<uint8_t>(size >> 8), static_cast<uint8_t>(size & 0xFF)};
    sample.insert(sample.end(), text.begin(), text.begin() + static_cast<std::ptrdiff_t>(size));
    return sample;
}
