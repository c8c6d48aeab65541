#include "lib/export/track_writers.h"

#include <algorithm>
#include <cctype>

#include "lib/export/map_track_writers.h"
#include "lib/export/text_track_writers.h"

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
