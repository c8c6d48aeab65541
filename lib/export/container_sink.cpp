#include "lib/export/container_sink.h"

#include <cstring>
#include <utility>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/error.h>
}

#include "lib/export/export_status.h"

ContainerSink::ContainerSink(std::string path, ContainerKind kind, int fpsNum, int fpsDen)
    : ExportSink(std::move(path)), kind_(kind), fpsNum_(fpsNum), fpsDen_(fpsDen) {}

ContainerSink::~ContainerSink() { Abandon(); }

int ContainerSink::Open(std::string& error) {
    if (avformat_alloc_output_context2(&format_, nullptr, MuxerName(kind_), nullptr) < 0 || format_ == nullptr) {
        error = std::string("libavformat has no ") + MuxerName(kind_) + " muxer";
        return export_status::kWriteFailed;
    }
    packet_ = av_packet_alloc();
    if (packet_ == nullptr) return Failed("cannot allocate a packet for", AVERROR(ENOMEM), error);
    const int opened = output_.Open(TemporaryPath(), kind_ == ContainerKind::kTransportStream);
    if (opened < 0) return Failed("cannot create", opened, error);
    format_->pb = output_.Context();
    return export_status::kOk;
}

// Packets are timed in picture intervals and rescaled to the time base each
// muxer chose for its stream.
int ContainerSink::Start(const VideoStreamInfo& info, std::string& error) {
    width_ = info.width;
    height_ = info.height;
    video_ = AddVideoStream(format_, info, fpsNum_, fpsDen_);
    telemetry_ = AddTelemetryStream(format_, kind_, fpsNum_, fpsDen_);
    if (video_ == nullptr || telemetry_ == nullptr) {
        return Failed("cannot set up the streams of", AVERROR(ENOMEM), error);
    }
    const int written = avformat_write_header(format_, nullptr);
    if (written < 0) return Failed("cannot write the header of", written, error);
    headerWritten_ = true;
    // No PES packet is written before the header.
    if (kind_ == ContainerKind::kTransportStream) output_.SetKlvPid(kKlvPid);
    return export_status::kOk;
}

// The decoders of these containers take the picture size from the stream's
// description, which cannot change inside one file; a transport stream
// carries the new parameter sets in-band and its decoders follow them.
int ContainerSink::AddPicture(const ExportedPicture& picture, std::string& error) {
    if (kind_ != ContainerKind::kTransportStream && (picture.width != width_ || picture.height != height_)) {
        error = Path() + ": picture " + std::to_string(picture.number) + " changes the size from " +
                std::to_string(width_) + "x" + std::to_string(height_) + " to " + std::to_string(picture.width) +
                "x" + std::to_string(picture.height) + "; a size change inside one file is not supported in " +
                FormatLabel(kind_) + " (a .ts output carries it)";
        return export_status::kUnsupported;
    }
    const std::vector<uint8_t> payload = TelemetryPayload(kind_, picture);
    if (payload.empty()) return export_status::kOk;
    return Write(telemetry_, payload, picture.index, picture.index, true, error);
}

int ContainerSink::AddVideo(const std::vector<uint8_t>& accessUnit, int64_t ptsIndex, int64_t dtsIndex, bool key,
                            std::string& error) {
    return Write(video_, accessUnit, ptsIndex, dtsIndex, key, error);
}

// The packet borrows the payload: av_interleaved_write_frame makes its own
// reference-counted copy of data it does not own.
int ContainerSink::Write(AVStream* stream, const std::vector<uint8_t>& payload, int64_t pts, int64_t dts, bool key,
                         std::string& error) {
    av_packet_unref(packet_);
    packet_->data = const_cast<uint8_t*>(payload.data());
    packet_->size = static_cast<int>(payload.size());
    packet_->stream_index = stream->index;
    packet_->pts = pts;
    packet_->dts = dts;
    packet_->duration = 1;
    packet_->flags = key ? AV_PKT_FLAG_KEY : 0;
    av_packet_rescale_ts(packet_, AVRational{fpsDen_, fpsNum_}, stream->time_base);
    const int written = av_interleaved_write_frame(format_, packet_);
    packet_->data = nullptr;
    packet_->size = 0;
    if (written < 0) return Failed("cannot write", written, error);
    return export_status::kOk;
}

int ContainerSink::Close(std::string& error) {
    int status = export_status::kOk;
    if (headerWritten_) {
        const int ended = av_write_trailer(format_);
        headerWritten_ = false;
        if (ended < 0) status = Failed("cannot complete", ended, error);
    }
    if (format_ != nullptr) format_->pb = nullptr;
    const int closed = output_.Close();
    if (closed < 0 && status == export_status::kOk) status = Failed("cannot close", closed, error);
    CloseQuietly();
    return status;
}

void ContainerSink::CloseQuietly() {
    if (format_ != nullptr) format_->pb = nullptr;
    output_.Abandon();
    avformat_free_context(format_);
    format_ = nullptr;
    av_packet_free(&packet_);
    headerWritten_ = false;
}

int ContainerSink::Failed(const char* what, int code, std::string& error) const {
    char text[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(code, text, sizeof text);
    error = std::string(what) + " " + Path() + ": " + text;
    return export_status::kWriteFailed;
}
