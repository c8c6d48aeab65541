#include "tools/export_recording/track_writers.h"

#include <algorithm>
#include <cctype>

#include "tools/export_recording/map_track_writers.h"
#include "tools/export_recording/text_track_writers.h"

std::unique_ptr<TrackWriter> MakeTrackWriter(const std::string& extension) {
    std::string lower = extension;
    std::transform(lower.begin(), lower.end(), lower.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    if (lower == ".srt") return MakeSrtWriter();
    if (lower == ".csv") return MakeCsvWriter();
    if (lower == ".gpx") return MakeGpxWriter();
    if (lower == ".kml") return MakeKmlWriter();
    return nullptr;
}
