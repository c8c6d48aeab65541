#include "lib/export/telemetry_caption.h"

#include "core/present/telemetry_line.h"
#include "lib/export/export_time.h"

namespace {

// Two spaces keep the fields apart where a proportional font squeezes one.
constexpr const char* kGap = "  ";
constexpr const char* kDegree = "\xC2\xB0";  // UTF-8, as SubRip and mov_text carry text

}  // namespace

std::string TelemetryCaption(const ExportedPicture& picture) {
    const TelemetryValues& v = picture.values;
    return "#" + std::to_string(picture.number) + kGap + FormatUtcTimeOfDay(picture.timeMicros) + "\n" +
           "Lat " + TelemetryNumber(v.latitude) + kGap + "Lon " + TelemetryNumber(v.longitude) + kGap + "H " +
           TelemetryNumber(v.height) + " m\n" +
           "Az " + TelemetryNumber(v.azimuth) + kDegree + kGap + "Pt " + TelemetryNumber(v.pitch) + kDegree;
}
