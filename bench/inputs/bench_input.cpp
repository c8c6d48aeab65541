#include "bench/inputs/bench_input.h"

#include <cstdio>
#include <sys/stat.h>

#include "tools/recording/pattern_encoder.h"
#include "tools/recording/recording_builder.h"
#include "tools/recording/recording_reader.h"
#include "tools/recording/telemetry_track.h"

namespace {

std::string CachePath(int width, int height, int pictures, const char* extension) {
    return std::string(DLP_BENCH_CACHE_DIR) + "/pattern-" + std::to_string(width) + "x" +
           std::to_string(height) + "-" + std::to_string(pictures) + extension;
}

bool Exists(const std::string& path) {
    struct stat info{};
    return stat(path.c_str(), &info) == 0 && info.st_size > 0;
}

// Written aside and renamed, so that an interrupted run leaves no half file
// that a later run would take for an input.
bool WriteAtomically(const std::string& path, const std::vector<uint8_t>& bytes, std::string& error) {
    const std::string partial = path + ".partial";
    if (!WriteWholeFile(partial, bytes, error)) return false;
    if (std::rename(partial.c_str(), path.c_str()) != 0) {
        error = "cannot rename " + partial;
        return false;
    }
    return true;
}

std::string StreamPath(const BenchInput& input) { return input.recordingPath + ".es"; }

bool FlightRecords(int pictures, std::vector<TelemetryRecord>& records, std::string& error) {
    for (const TelemetrySample& sample : GenerateFlightPath(pictures)) {
        TelemetryRecord record{};
        if (!EncodeRecord(sample, record, error)) return false;
        records.push_back(record);
    }
    return true;
}

bool MakeInput(int width, int height, int pictures, BenchInput& input, std::string& error) {
    PatternOptions pattern;
    pattern.width = width;
    pattern.height = height;
    pattern.frames = pictures;
    std::fprintf(stderr, "making a %dx%d recording of %d pictures (kept in %s)\n", width, height,
                 pictures, DLP_BENCH_CACHE_DIR);
    std::vector<uint8_t> encoded;
    std::vector<TelemetryRecord> records;
    if (!EncodeTestPattern(pattern, encoded, error) || !FlightRecords(pictures, records, error)) {
        return false;
    }
    input.recording = BuildRecording(encoded, records, RecordingOptions{}, nullptr, &input.elementaryStream);
    mkdir(DLP_BENCH_CACHE_DIR, 0755);
    return WriteAtomically(input.videoStreamPath, encoded, error) &&
           WriteAtomically(StreamPath(input), input.elementaryStream, error) &&
           WriteAtomically(input.recordingPath, input.recording, error);
}

}  // namespace

bool LoadOrMakeInput(int width, int height, int pictures, BenchInput& input, std::string& error) {
    input.recordingPath = CachePath(width, height, pictures, ".dat");
    input.videoStreamPath = CachePath(width, height, pictures, "-video.h265");
    // The recording is written last, so with it the other two exist.
    if (Exists(input.recordingPath) && Exists(input.videoStreamPath)) {
        return ReadWholeFile(input.recordingPath, input.recording, error) &&
               ReadWholeFile(StreamPath(input), input.elementaryStream, error);
    }
    return MakeInput(width, height, pictures, input, error);
}
