#pragma once
// One picture as the export writes it: a picture the player would show, the
// record it would show with it, and where it stands in the exported timeline.

#include <cstdint>
#include <string>

#include "core/format/telemetry_record.h"

struct ExportedPicture {
    int64_t number = 0;  // 1, 2, ... in the order the player shows them
    // Place in the timeline in picture intervals from the first picture;
    // pictures lost on the link leave gaps.
    int64_t index = 0;
    int64_t offsetMicros = 0;    // presentation time from the first picture's
    int64_t timeMicros = 0;      // presentation time, microseconds since 1970-01-01 UTC
    int64_t durationMicros = 0;  // one picture interval at the export's rate
    int width = 0;
    int height = 0;
    TelemetryValues values{};  // decoded from the record by the player's own code
    std::string caption;       // the subtitles' text (lib/export/telemetry_caption.h)
};
