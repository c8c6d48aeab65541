#pragma once
// The per-picture text formats: subtitles (.srt), tracks for maps (.gpx,
// .kml) and a table (.csv). Each writes as the pictures come.

#include <memory>
#include <ostream>
#include <string>

#include "lib/export/exported_picture.h"

class TrackWriter {
public:
    virtual ~TrackWriter() = default;
    virtual void Begin(std::ostream& out) = 0;
    virtual void Add(std::ostream& out, const ExportedPicture& picture) = 0;
    virtual void End(std::ostream& out) = 0;
};

// The writer for ".srt", ".gpx", ".kml" or ".csv"; null for any other.
std::unique_ptr<TrackWriter> MakeTrackWriter(const std::string& extension);
