#include "lib/export/text_track_writers.h"

#include <algorithm>
#include <cstdio>
#include <ostream>
#include <string>

#include "core/present/telemetry_line.h"
#include "lib/export/export_time.h"

namespace {

// "HH:MM:SS,mmm", hours growing past 99 if they must; SubRip has no
// negative times.
std::string SrtTime(int64_t micros) {
    const int64_t millis = std::max<int64_t>(micros, 0) / 1000;
    char text[48];
    std::snprintf(text, sizeof text, "%02lld:%02d:%02d,%03d", static_cast<long long>(millis / 3600000),
                  static_cast<int>(millis / 60000 % 60), static_cast<int>(millis / 1000 % 60),
                  static_cast<int>(millis % 1000));
    return text;
}

class SrtWriter : public TrackWriter {
public:
    void Begin(std::ostream&) override {}
    void Add(std::ostream& out, const ExportedPicture& picture) override {
        const std::string cue = std::to_string(++cues_) + "\n" + SrtTime(picture.offsetMicros) + " --> " +
                                SrtTime(picture.offsetMicros + picture.durationMicros) + "\n" +
                                picture.caption + "\n\n";
        out << cue;
    }
    void End(std::ostream&) override {}

private:
    int64_t cues_ = 0;
};

class CsvWriter : public TrackWriter {
public:
    void Begin(std::ostream& out) override { out << "picture,time,azimuth,pitch,longitude,latitude,height\n"; }
    void Add(std::ostream& out, const ExportedPicture& picture) override {
        out << std::to_string(picture.number) + "," + FormatIsoUtc(picture.timeMicros) + "," +
                   TelemetryValuesCsv(picture.values) + "\n";
    }
    void End(std::ostream&) override {}
};

}  // namespace

std::unique_ptr<TrackWriter> MakeSrtWriter() { return std::make_unique<SrtWriter>(); }
std::unique_ptr<TrackWriter> MakeCsvWriter() { return std::make_unique<CsvWriter>(); }
