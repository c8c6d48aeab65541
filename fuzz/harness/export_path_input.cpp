// The export's path from a recording's units to KLV and text tracks: the
// player's splitter and telemetry capture, FFmpeg's parser regrouping the
// units into access units, and a Local Set, a subtitle cue, a table row and
// map points for each record. No decoder: the formats see every record.

#include <algorithm>
#include <cmath>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

extern "C" {
#include <libavutil/log.h>
}

#include "core/demux/access_units.h"
#include "core/format/link_frame.h"
#include "core/format/nal_unit.h"
#include "fuzz/harness/fuzz_inputs.h"
#include "fuzz/harness/invariant.h"
#include "fuzz/harness/reused_buffers.h"
#include "pipeline/decode_data.h"
#include "lib/export/export_time.h"
#include "lib/export/klv_st0601.h"
#include "lib/export/telemetry_caption.h"
#include "lib/export/track_writers.h"

namespace {

constexpr int64_t kStartMicros = 1796729148000000;  // 2026-12-08T11:25:48Z
constexpr int64_t kPictureMicros = 40000;
constexpr uint8_t kClosingUnit[] = {0x00, 0x00, 0x00, 0x01, 0x46, 0x01, 0x50};
constexpr const char* kTrackExtensions[] = {".srt", ".csv", ".gpx", ".kml"};

size_t ReadBer(const std::vector<uint8_t>& set, size_t& pos) {
    FUZZ_INVARIANT(pos < set.size());
    const uint8_t first = set[pos++];
    if (first < 0x80) return first;
    size_t length = 0;
    for (int i = 0; i < (first & 0x7F); ++i) {
        FUZZ_INVARIANT(pos < set.size());
        length = (length << 8) | set[pos++];
    }
    return length;
}

// A reader that cannot walk the set, or whose sum disagrees, drops it whole.
void CheckLocalSet(const std::vector<uint8_t>& set, const ExportedPicture& picture) {
    static const uint8_t kKey[] = {0x06, 0x0E, 0x2B, 0x34, 0x02, 0x0B, 0x01, 0x01,
                                   0x0E, 0x01, 0x03, 0x01, 0x01, 0x00, 0x00, 0x00};
    FUZZ_INVARIANT(set.size() > sizeof kKey && std::equal(kKey, kKey + sizeof kKey, set.begin()));
    size_t pos = sizeof kKey;
    const size_t length = ReadBer(set, pos);
    FUZZ_INVARIANT(pos + length == set.size());
    uint8_t lastTag = 0;
    while (pos < set.size()) {
        const uint8_t tag = set[pos++];
        const size_t size = ReadBer(set, pos);
        FUZZ_INVARIANT(pos + size <= set.size());
        if (tag == 13 || tag == 14) {
            const int32_t counts = static_cast<int32_t>(uint32_t{set[pos]} << 24 | uint32_t{set[pos + 1]} << 16 |
                                                        uint32_t{set[pos + 2]} << 8 | set[pos + 3]);
            const double value = tag == 13 ? picture.values.latitude : picture.values.longitude;
            const double range = tag == 13 ? 90.0 : 180.0;
            if (std::fabs(value) <= range) {
                FUZZ_INVARIANT(std::fabs(counts * range / 2147483647.0 - value) < 1e-6);
            } else {
                FUZZ_INVARIANT(static_cast<uint32_t>(counts) == 0x80000000u);
            }
        }
        FUZZ_INVARIANT(tag != 1 || (size == 2 && pos + 2 == set.size()));
        lastTag = tag;
        pos += size;
    }
    FUZZ_INVARIANT(lastTag == 1);
    uint16_t sum = 0;
    for (size_t i = 0; i + 2 < set.size(); ++i) sum = static_cast<uint16_t>(sum + (set[i] << (8 * ((i + 1) % 2))));
    FUZZ_INVARIANT(set[set.size() - 2] == (sum >> 8) && set[set.size() - 1] == (sum & 0xFF));
}

class Formats {
public:
    Formats() {
        for (const char* extension : kTrackExtensions) {
            writers_.push_back(MakeTrackWriter(extension));
            FUZZ_INVARIANT(writers_.back() != nullptr);
            outs_.emplace_back();
            writers_.back()->Begin(outs_.back());
        }
    }

    void Record(const TelemetryRecord& record, int64_t gap) {
        ExportedPicture picture;
        picture.number = ++pictures_;
        index_ += 1 + gap;
        picture.index = index_;
        picture.offsetMicros = index_ * kPictureMicros;
        picture.timeMicros = kStartMicros + picture.offsetMicros;
        picture.durationMicros = kPictureMicros;
        picture.width = 64;
        picture.height = 64;
        picture.values = DecodeTelemetry(record);
        picture.caption = TelemetryCaption(picture);

        CheckLocalSet(BuildUasLocalSet(picture), picture);
        int64_t parsed = 0;
        FUZZ_INVARIANT(ParseIsoUtc(FormatIsoUtc(picture.timeMicros), parsed));
        FUZZ_INVARIANT(parsed / 1000 == picture.timeMicros / 1000);
        for (size_t i = 0; i < writers_.size(); ++i) writers_[i]->Add(outs_[i], picture);
    }

    void Finish() {
        for (size_t i = 0; i < writers_.size(); ++i) {
            writers_[i]->End(outs_[i]);
            const std::string text = outs_[i].str();
            // Maps and players reject a file for one bad number.
            FUZZ_INVARIANT(text.find("nan") == std::string::npos && text.find("inf") == std::string::npos);
            FUZZ_INVARIANT(text.find('\0') == std::string::npos);
        }
        // The table: its header and one row per picture.
        const std::string csv = outs_[1].str();
        FUZZ_INVARIANT(static_cast<int64_t>(std::count(csv.begin(), csv.end(), '\n')) == pictures_ + 1);
    }

private:
    std::vector<std::unique_ptr<TrackWriter>> writers_;
    std::vector<std::ostringstream> outs_;
    int64_t pictures_ = 0;
    int64_t index_ = -1;
};

}  // namespace

int RunExportPathInput(const uint8_t* data, size_t size) {
    av_log_set_level(AV_LOG_QUIET);
    DecodeData pipeline;
    LendBuffers(pipeline);
    pipeline.Present(Presentation::Headless());

    int64_t tagsGiven = 0, lastTag = 0;
    AccessUnitSplitter splitter([&](AccessUnit&& au) {
        FUZZ_INVARIANT(!au.key || au.hasPicture);
        FUZZ_INVARIANT(!au.idr || au.key);
        FUZZ_INVARIANT(au.hasPicture || au.tag == 0);
        // A damaged unit may hide a 3-byte start code that the parser cuts
        // at, so two access units can share a packet's tag, never go back.
        if (au.hasPicture) {
            FUZZ_INVARIANT(au.tag >= lastTag && au.tag <= tagsGiven);
            lastTag = au.tag;
        }
    });
    FUZZ_INVARIANT(splitter.Ready());
    // Each unit goes on as its own packet; a first slice gets a new tag, as
    // the player numbers the pictures it opens.
    pipeline.onNal = [&](const uint8_t* unit, int32_t length) {
        if (nal_unit::OpensPicture(unit, length)) ++tagsGiven;
        splitter.Packet(unit, length, tagsGiven);
    };
    Formats formats;
    // Pictures lost on the link leave gaps in the timeline: a record's first
    // byte stands for such a gap now and then.
    pipeline.onTelemetry = [&](const TelemetryRecord& record) { formats.Record(record, record.bytes[0] & 3); };

    for (size_t pos = 0; pos < size; pos += link_frame::kPayloadArea) {
        const size_t n = std::min(size - pos, static_cast<size_t>(link_frame::kPayloadArea));
        pipeline.SplitNal(data + pos, static_cast<int32_t>(n));
    }
    pipeline.SplitNal(kClosingUnit, sizeof kClosingUnit);
    splitter.Finish();
    formats.Finish();
    ReclaimBuffers(pipeline);
    return 0;
}
