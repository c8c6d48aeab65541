#include "tools/inspect_recording/recording_summary.h"

#include <ostream>
#include <set>

#include "tools/recording/annex_b.h"
#include "tools/recording/telemetry_track.h"

namespace {

// "1920x1080" for a stream of one size, else every size seen.
std::string PictureSizes(const RecordingReport& report) {
    std::set<std::pair<int, int>> sizes;
    for (const PictureSize& s : report.pictureSizes) sizes.insert({s.width, s.height});
    std::string text;
    for (const auto& s : sizes) {
        if (!text.empty()) text += ", ";
        text += std::to_string(s.first) + "x" + std::to_string(s.second);
    }
    return text;
}

}  // namespace

void WriteSummary(std::ostream& out, const std::string& path, const RecordingReport& r, bool decoded) {
    out << "recording:        " << path << " (" << r.fileBytes << " bytes)\n"
        << "link frames:      " << r.linkFrames << "\n"
        << "invalid frames:   " << r.invalidFrames << "  (payload length 0 or above 480)\n"
        << "sequence breaks:  " << r.sequenceBreaks << "\n"
        << "payloads:         " << r.payloads << " (" << r.payloadBytes << " bytes)\n"
        << "NAL units:        " << r.units << "\n";
    if (r.telemetryMarkerUnits > 0) out << "  telemetry (06):    " << r.telemetryMarkerUnits << "\n";
    for (const auto& [type, count] : r.unitsByType) {
        std::string label = std::string(UnitTypeName(type)) + " (" + std::to_string(type) + "):";
        label.resize(std::max<size_t>(label.size() + 1, 19), ' ');
        out << "  " << label << count << "\n";
    }
    out << "telemetry records: " << r.records.size() << "\n";
    if (decoded) {
        out << "pictures:         " << r.pictures;
        if (r.pictures > 0) out << " (" << PictureSizes(r) << ")";
        out << "\n";
    } else {
        out << "pictures:         not decoded (use --decode)\n";
    }
    if (!r.openTail.empty()) {
        out << "unfinished unit:  " << r.openTail.size()
            << " bytes at the end, never handed over (no start code follows it)\n";
    }
}

void WriteTelemetryCsv(std::ostream& out, const RecordingReport& report) {
    out << kTelemetryCsvHeader << "\n";
    for (size_t i = 0; i < report.records.size(); ++i) {
        out << TelemetryCsvRow(static_cast<int>(i + 1), report.records[i]) << "\n";
    }
}
