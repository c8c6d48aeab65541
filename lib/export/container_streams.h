#pragma once
// The streams of the containers the export writes through libavformat, and
// the packets of their telemetry streams.

#include <cstdint>
#include <string>
#include <vector>

#include "lib/export/export_sink.h"

extern "C" {
struct AVFormatContext;
struct AVStream;
}

enum class ContainerKind { kTransportStream, kMatroska, kMp4 };

// libavformat's muxer name, and the extension users know the format by.
const char* MuxerName(ContainerKind kind);
const char* FormatLabel(ContainerKind kind);

// HEVC with the parameter sets as Annex-B extradata: the Matroska and MP4
// muxers turn them into an hvcC record and the packets' start codes into
// lengths themselves; the transport stream carries them in-band.
// Streams at `fpsNum / fpsDen` pictures a second.
AVStream* AddVideoStream(AVFormatContext* format, const VideoStreamInfo& info, int fpsNum, int fpsDen);
// The per-picture stream: KLV in a transport stream, text subtitles elsewhere.
// In a transport stream its PID is kKlvPid (the muxer's own choice for a
// second stream, pinned so that the KLV PES rewrite knows it in advance).
constexpr int kKlvPid = 0x101;
AVStream* AddTelemetryStream(AVFormatContext* format, ContainerKind kind, int fpsNum, int fpsDen);
// The payload of one telemetry packet for `picture`; empty when there is none.
std::vector<uint8_t> TelemetryPayload(ContainerKind kind, const ExportedPicture& picture);
