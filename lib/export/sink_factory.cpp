#include "lib/export/sink_factory.h"

#include "lib/cli/file_names.h"
#include "lib/export/container_sink.h"
#include "lib/export/text_sink.h"
#include "lib/export/track_writers.h"

std::unique_ptr<ExportSink> MakeSink(const std::string& path, int fpsNum, int fpsDen) {
    const std::string ext = FileExtension(path);
    if (ext == ".ts") return std::make_unique<ContainerSink>(path, ContainerKind::kTransportStream, fpsNum, fpsDen);
    if (ext == ".mkv") return std::make_unique<ContainerSink>(path, ContainerKind::kMatroska, fpsNum, fpsDen);
    if (ext == ".mp4") return std::make_unique<ContainerSink>(path, ContainerKind::kMp4, fpsNum, fpsDen);
    std::unique_ptr<TrackWriter> writer = MakeTrackWriter(ext);
    if (!writer) return nullptr;
    return std::make_unique<TextSink>(path, std::move(writer));
}
