#pragma once
// A recording's link time in a fixed number of bins: link frames, their
// damage, the stream's bytes by unit kind and the telemetry values. The bins
// are laid out from the recording's size before it is read, so memory stays
// the same for a 10-second and a 2-hour recording.

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "core/format/replay_pace.h"
#include "core/format/telemetry_record.h"
#include "lib/reading/recording_reader.h"

// A frame's moment is its place in the recording at the replay's pace.
constexpr double kReplayBytesPerSecond = static_cast<double>(replay_pace::kBytesPerSecond);
constexpr size_t kDefaultTimelineBins = 600;

// Bins of at least 0.2 s (five pictures at 25 a second, so the bit rate is
// not one picture's burst), at most kDefaultTimelineBins of them.
size_t TimelineBinsFor(uint64_t recordingBytes);

enum UnitKind { kVideoUnit, kTelemetryUnit, kFillerUnit, kOtherUnit, kUnitKinds };
UnitKind KindOfUnit(const uint8_t* unit, int32_t length);

// The values that fell into a bin: the first, smallest, largest and their
// mean. An angle is followed round the circle from the bin's first value,
// each within half a turn of the one before, so that a bin crossing ±180°
// keeps the few degrees it spans, beyond ±180° on one side.
struct ValueRange {
    double first = 0, low = 0, high = 0;
    double last = 0;  // as followed
    double sum = 0;
    uint32_t count = 0;
    void Add(double v);
    void AddAngle(double degrees);
    double Mean() const { return count > 0 ? sum / count : 0; }
};

struct TimelineBin {
    uint32_t frames = 0;
    uint32_t invalidFrames = 0;
    uint32_t sequenceBreaks = 0;
    uint64_t framesLost = 0;  // sequence numbers skipped at this bin's breaks
    std::array<uint64_t, kUnitKinds> unitBytes{};
    uint32_t records = 0;
    double recordSeconds = 0;  // the records' moments, summed
    ValueRange latitude, longitude, height, azimuth, pitch;
};

class LinkTimeline {
public:
    LinkTimeline(uint64_t recordingBytes, size_t bins = kDefaultTimelineBins);

    // A frame from the reader; later units and records are placed at it.
    void AddFrame(const LinkFrameEvent& frame);
    void AddUnit(const uint8_t* unit, int32_t length);
    void AddRecord(const TelemetryValues& values);

    size_t BinOf(uint64_t offset) const;
    double SecondsOf(uint64_t offset) const { return static_cast<double>(offset) / kReplayBytesPerSecond; }
    double DurationSeconds() const { return SecondsOf(recordingBytes_); }
    double BinSeconds() const { return DurationSeconds() / static_cast<double>(bins_.size()); }
    double CurrentSeconds() const { return SecondsOf(offset_); }
    const std::vector<TimelineBin>& Bins() const { return bins_; }

    uint64_t FramesLost() const { return framesLost_; }
    bool HasRecords() const { return firstRecord_.records > 0; }
    // The very first and last records, exact, for the track's start and
    // end; each one's recordSeconds is its moment.
    const TimelineBin& FirstRecord() const { return firstRecord_; }
    const TimelineBin& LastRecord() const { return lastRecord_; }

private:
    uint64_t recordingBytes_;
    std::vector<TimelineBin> bins_;
    uint64_t offset_ = 0;
    uint64_t framesLost_ = 0;
    TimelineBin firstRecord_, lastRecord_;
};
