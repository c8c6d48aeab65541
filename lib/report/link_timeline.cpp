#include "lib/report/link_timeline.h"

#include <algorithm>
#include <cmath>

#include "core/format/nal_unit.h"

size_t TimelineBinsFor(uint64_t recordingBytes) {
    constexpr double kLeastBinSeconds = 0.2;
    const double bins = std::ceil(static_cast<double>(recordingBytes) / kReplayBytesPerSecond / kLeastBinSeconds);
    return static_cast<size_t>(std::clamp(bins, 1.0, static_cast<double>(kDefaultTimelineBins)));
}

UnitKind KindOfUnit(const uint8_t* unit, int32_t length) {
    if (length <= nal_unit::kStartCodeSize) return kOtherUnit;
    const uint8_t header = unit[nal_unit::kStartCodeSize];
    if (telemetry_unit::IsTelemetryUnit(unit, static_cast<size_t>(length))) return kTelemetryUnit;
    const int type = nal_unit::TypeOf(header);
    if (type == nal_unit::kFillerData) return kFillerUnit;
    return nal_unit::IsVclType(type) ? kVideoUnit : kOtherUnit;
}

void ValueRange::Add(double v) {
    if (count++ == 0) first = low = high = v;
    low = std::min(low, v);
    high = std::max(high, v);
    last = v;
    sum += v;
}

void ValueRange::AddAngle(double degrees) {
    Add(count == 0 ? degrees : last + std::remainder(degrees - last, 360.0));
}

LinkTimeline::LinkTimeline(uint64_t recordingBytes, size_t bins)
    : recordingBytes_(std::max<uint64_t>(recordingBytes, 1)), bins_(std::max<size_t>(bins, 1)) {}

// A frame ends after its last byte; it belongs where that byte is.
size_t LinkTimeline::BinOf(uint64_t offset) const {
    const uint64_t at = offset == 0 ? 0 : offset - 1;
    const auto bin = static_cast<size_t>(static_cast<long double>(at) * bins_.size() / recordingBytes_);
    return std::min(bin, bins_.size() - 1);
}

void LinkTimeline::AddFrame(const LinkFrameEvent& frame) {
    offset_ = frame.endOffset;
    TimelineBin& bin = bins_[BinOf(offset_)];
    ++bin.frames;
    bin.invalidFrames += frame.invalid;
    if (frame.sequenceBreak) ++bin.sequenceBreaks;
    bin.framesLost += frame.framesSkipped;
    framesLost_ += frame.framesSkipped;
}

void LinkTimeline::AddUnit(const uint8_t* unit, int32_t length) {
    bins_[BinOf(offset_)].unitBytes[KindOfUnit(unit, length)] += static_cast<uint64_t>(length);
}

namespace {
void AddValues(TimelineBin& bin, const TelemetryValues& v, double seconds) {
    ++bin.records;
    bin.recordSeconds += seconds;
    bin.latitude.Add(v.latitude);
    bin.longitude.Add(v.longitude);
    bin.height.Add(v.height);
    bin.azimuth.AddAngle(v.azimuth);
    bin.pitch.Add(v.pitch);
}
}  // namespace

void LinkTimeline::AddRecord(const TelemetryValues& values) {
    const double seconds = CurrentSeconds();
    AddValues(bins_[BinOf(offset_)], values, seconds);
    if (firstRecord_.records == 0) AddValues(firstRecord_, values, seconds);
    lastRecord_ = TimelineBin{};
    AddValues(lastRecord_, values, seconds);
}
