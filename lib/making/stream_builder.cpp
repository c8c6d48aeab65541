#include "lib/making/stream_builder.h"

#include <cmath>

#include "core/demux/annex_b.h"
#include "core/format/nal_unit.h"
#include "lib/making/telemetry_unit_writer.h"

namespace {

void AppendUnit(std::vector<uint8_t>& out, const std::vector<uint8_t>& es, const UnitSpan& u) {
    out.insert(out.end(), es.begin() + static_cast<std::ptrdiff_t>(u.offset),
               es.begin() + static_cast<std::ptrdiff_t>(u.offset + u.size));
}

// Stream bytes due by the end of picture `pictures` (counted from 1).
uint64_t BytesDue(uint64_t pictures, double fps, uint64_t bytesPerSecond) {
    return static_cast<uint64_t>(std::llround(static_cast<double>(pictures) * bytesPerSecond / fps));
}

void AppendFillerUpTo(std::vector<uint8_t>& out, uint64_t due) {
    if (out.size() >= due) return;
    size_t missing = static_cast<size_t>(due - out.size());
    // A deficit below the smallest unit is overpaid; the next picture pays less.
    if (missing < kMinFillerUnit) missing = kMinFillerUnit;
    const std::vector<uint8_t> filler = BuildFillerUnit(missing);
    out.insert(out.end(), filler.begin(), filler.end());
}

}  // namespace

std::vector<uint8_t> InsertBeforePictures(const std::vector<uint8_t>& es,
                                          const std::vector<std::vector<uint8_t>>& units) {
    std::vector<uint8_t> out;
    size_t inserted = 0;
    for (const std::vector<uint8_t>& unit : units) inserted += unit.size();
    out.reserve(es.size() + inserted);
    size_t picture = 0;
    const std::vector<UnitSpan> spans = FindUnits(es);
    if (!spans.empty())
        out.insert(out.end(), es.begin(), es.begin() + static_cast<std::ptrdiff_t>(spans[0].offset));
    for (const UnitSpan& u : spans) {
        if (StartsPicture(es.data() + u.offset, u.size)) {
            if (picture < units.size()) out.insert(out.end(), units[picture].begin(), units[picture].end());
            ++picture;
        }
        AppendUnit(out, es, u);
    }
    return out;
}

std::vector<uint8_t> InterleaveTelemetry(const std::vector<uint8_t>& es,
                                         const std::vector<TelemetryRecord>& records, uint8_t payloadType) {
    std::vector<std::vector<uint8_t>> units;
    units.reserve(records.size());
    for (const TelemetryRecord& record : records) units.push_back(BuildTelemetryUnit(record, payloadType));
    return InsertBeforePictures(es, units);
}

std::vector<uint8_t> StripTelemetryAndEnd(const std::vector<uint8_t>& es, size_t* removed) {
    std::vector<uint8_t> out;
    out.reserve(es.size());
    size_t telemetry = 0;
    const std::vector<UnitSpan> units = FindUnits(es);
    for (size_t i = 0; i < units.size(); ++i) {
        const uint8_t* unit = es.data() + units[i].offset;
        const bool closing = i + 1 == units.size() && !telemetry_unit::IsTelemetryUnit(unit, units[i].size) &&
                             UnitType(unit) == nal_unit::kEndOfBitstream;
        if (telemetry_unit::IsTelemetryUnit(unit, units[i].size)) {
            ++telemetry;
        } else if (!closing) {
            AppendUnit(out, es, units[i]);
        }
    }
    if (removed != nullptr) *removed = telemetry;
    return out;
}

std::vector<uint8_t> BuildFillerUnit(size_t size) {
    if (size < kMinFillerUnit) size = kMinFillerUnit;
    // Start code, the two-byte header of type 38, 0xFF bytes, and the RBSP stop bit.
    std::vector<uint8_t> unit;
    unit.reserve(size);
    start_code::Append(unit);
    unit.push_back(nal_unit::kFillerData << 1);
    unit.push_back(0x01);
    unit.resize(size - 1, 0xFF);
    unit.push_back(0x80);
    return unit;
}

std::vector<uint8_t> PadToByteRate(const std::vector<uint8_t>& es, double fps, uint64_t bytesPerSecond) {
    std::vector<uint8_t> out;
    out.reserve(static_cast<size_t>(BytesDue(CountPictures(es) + 1, fps, bytesPerSecond)) + es.size());
    uint64_t pictures = 0;
    bool sliceSeen = false;  // the current picture's slices are being copied
    const std::vector<UnitSpan> units = FindUnits(es);
    if (!units.empty())
        out.insert(out.end(), es.begin(), es.begin() + static_cast<std::ptrdiff_t>(units[0].offset));
    for (const UnitSpan& u : units) {
        const uint8_t* unit = es.data() + u.offset;
        const bool slice = IsSliceUnit(unit, u.size);
        // Filler belongs to the picture whose slices it follows.
        if (sliceSeen && (!slice || StartsPicture(unit, u.size))) {
            AppendFillerUpTo(out, BytesDue(++pictures, fps, bytesPerSecond));
            sliceSeen = false;
        }
        AppendUnit(out, es, u);
        if (slice) sliceSeen = true;
    }
    if (sliceSeen) AppendFillerUpTo(out, BytesDue(++pictures, fps, bytesPerSecond));
    return out;
}

void AppendEndOfBitstream(std::vector<uint8_t>& es) {
    start_code::Append(es);
    es.push_back(nal_unit::kEndOfBitstream << 1);
    es.push_back(0x01);
}
