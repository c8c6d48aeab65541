#include "lib/reading/recording_summary.h"

#include <algorithm>
#include <ostream>
#include <set>
#include <vector>

#include "core/demux/annex_b.h"
#include "lib/formats/telemetry_track.h"

namespace {

// A damaged stream can draw thousands of messages of a few kinds.
constexpr size_t kMessagesShown = 10;

// "4 (50 pictures)", or "1 (10 pictures), 4 (40 pictures)" for a mix.
std::string SlicesPerPicture(const RecordingReport& report) {
    std::string text;
    for (const auto& [slices, pictures] : report.slicesPerPicture) {
        if (!text.empty()) text += ", ";
        text += std::to_string(slices) + " (" + std::to_string(pictures) +
                (pictures == 1 ? " picture)" : " pictures)");
    }
    return text.empty() ? "none" : text;
}

void WriteSlices(std::ostream& out, const RecordingReport& r) {
    out << "slices per picture: " << SlicesPerPicture(r) << "\n";
    if (r.orphanSlices > 0) {
        out << "orphan slices:    " << r.orphanSlices
            << "  (continuation slices whose first slice is missing)\n";
    }
}

// The most frequent messages first; equally frequent ones by their text.
void WriteDecoderErrors(std::ostream& out, const RecordingReport& r) {
    std::vector<std::pair<std::string, uint64_t>> messages(r.decoderErrors.begin(), r.decoderErrors.end());
    std::stable_sort(messages.begin(), messages.end(),
                     [](const auto& a, const auto& b) { return a.second > b.second; });
    uint64_t total = 0;
    for (const auto& m : messages) total += m.second;
    if (total == 0) {
        out << "decoder errors:   none\n";
        return;
    }
    out << "decoder errors:   " << total << "\n";
    const size_t shown = std::min(messages.size(), kMessagesShown);
    uint64_t leftOff = total;
    for (size_t i = 0; i < shown; ++i) {
        out << "  " << messages[i].second << " x " << messages[i].first << "\n";
        leftOff -= messages[i].second;
    }
    if (messages.size() > shown) {
        const size_t others = messages.size() - shown;
        out << "  ... and " << others << (others == 1 ? " other message (" : " other messages (") << leftOff
            << " in all)\n";
    }
}

}  // namespace

void WriteSummary(std::ostream& out, const std::string& path, const RecordingReport& r, bool decoded) {
    out << "recording:        " << path << " (" << r.bytes << " bytes)\n"
        << "link frames:      " << r.linkFrames << "\n"
        << "invalid frames:   " << r.invalidFrames << "  (payload length 0 or above 480)\n"
        << "sequence breaks:  " << r.sequenceBreaks << "\n";
    // Frames the ordering by sequence number left out; most recordings have none.
    if (r.lateFrames > 0 || r.duplicateFrames > 0) {
        out << "  left out:        " << r.lateFrames << " late, " << r.duplicateFrames << " duplicate\n";
    }
    out << "payloads:         " << r.payloads << " (" << r.payloadBytes << " bytes)\n"
        << "NAL units:        " << r.units << "\n";
    if (r.telemetryMarkerUnits > 0) out << "  telemetry (06):    " << r.telemetryMarkerUnits << "\n";
    for (const auto& [type, count] : r.unitsByType) {
        std::string label = std::string(UnitTypeName(type)) + " (" + std::to_string(type) + "):";
        label.resize(std::max<size_t>(label.size() + 1, 19), ' ');
        out << "  " << label << count << "\n";
    }
    // A read that keeps no list still counts its records.
    out << "telemetry records: " << (r.records.empty() ? r.recordCount : r.records.size()) << "\n";
    if (decoded) {
        out << "pictures:         " << r.pictures;
        if (r.pictures > 0) out << " (" << DescribePictureSizes(r.pictureSizes) << ")";
        out << "\n"
            << "  shown whole:    " << r.wholePictures << "  (no decoder error while decoding them)\n";
    } else {
        out << "pictures:         not decoded (use --decode)\n";
    }
    WriteSlices(out, r);
    if (decoded) WriteDecoderErrors(out, r);
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

std::string DescribePictureSizes(const std::vector<PictureSize>& sizes) {
    std::vector<PictureSize> distinct;
    for (const PictureSize& s : sizes) {
        if (std::find(distinct.begin(), distinct.end(), s) == distinct.end()) distinct.push_back(s);
    }
    std::string text;
    for (const PictureSize& s : distinct) {
        if (!text.empty()) text += ", ";
        text += std::to_string(s.width) + "x" + std::to_string(s.height);
    }
    return text;
}
