#include "tools/export_recording/sink_factory.h"

#include <algorithm>
#include <cctype>

#include "tools/export_recording/container_sink.h"
#include "tools/export_recording/text_sink.h"
#include "tools/export_recording/track_writers.h"

namespace {

// ".TS" is ".ts": the extension names a format, whatever its case.
std::string Extension(const std::string& path) {
    const size_t slash = path.find_last_of('/');
    const size_t dot = path.find_last_of('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return {};
    std::string ext = path.substr(dot);
    std::transform(ext.begin(), ext.end(), ext.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return ext;
}

}  // namespace

std::unique_ptr<ExportSink> MakeSink(const std::string& path, int fpsNum, int fpsDen) {
    const std::string ext = Extension(path);
    if (ext == ".ts") return std::make_unique<ContainerSink>(path, ContainerKind::kTransportStream, fpsNum, fpsDen);
    if (ext == ".mkv") return std::make_unique<ContainerSink>(path, ContainerKind::kMatroska, fpsNum, fpsDen);
    if (ext == ".mp4") return std::make_unique<ContainerSink>(path, ContainerKind::kMp4, fpsNum, fpsDen);
    std::unique_ptr<TrackWriter> writer = MakeTrackWriter(ext);
    if (!writer) return nullptr;
    return std::make_unique<TextSink>(path, std::move(writer));
}
