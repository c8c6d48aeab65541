#include "bench/inputs/bench_input.h"

#include <cstdio>
#include <sys/stat.h>

#include "core/demux/annex_b.h"
#include "lib/formats/telemetry_track.h"
#include "lib/making/pattern_encoder.h"
#include "lib/making/recording_builder.h"
#include "lib/making/stream_builder.h"
#include "lib/reading/recording_reader.h"

namespace {

// Single-slice inputs keep the names they had before slices were a choice,
// so inputs already made stay in use.
std::string CachePath(int width, int height, int pictures, int slices, const char* extension) {
    const std::string sliced = slices == 1 ? "" : "-" + std::to_string(slices) + "slices";
    return std::string(DLP_BENCH_CACHE_DIR) + "/pattern-" + std::to_string(width) + "x" +
           std::to_string(height) + "-" + std::to_string(pictures) + sliced + extension;
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

// Cut right after the last slice of picture `pictures`: the parameter sets
// behind it belong to the next picture, which is not kept.
std::vector<uint8_t> FirstPictures(const std::vector<uint8_t>& es, int pictures) {
    size_t end = 0;
    int started = 0;
    for (const UnitSpan& unit : FindUnits(es)) {
        const uint8_t* bytes = es.data() + unit.offset;
        if (StartsPicture(bytes, unit.size) && ++started > pictures) break;
        if (IsSliceUnit(bytes, unit.size)) end = unit.offset + unit.size;
    }
    return std::vector<uint8_t>(es.begin(), es.begin() + static_cast<std::ptrdiff_t>(end));
}

bool FlightRecords(int pictures, std::vector<TelemetryRecord>& records, std::string& error) {
    for (const TelemetrySample& sample : GenerateFlightPath(pictures)) {
        TelemetryRecord record{};
        if (!EncodeRecord(sample, record, error)) return false;
        records.push_back(record);
    }
    return true;
}

bool MakeInput(int width, int height, int pictures, int slices, BenchInput& input, std::string& error) {
    PatternOptions pattern;
    pattern.width = width;
    pattern.height = height;
    pattern.frames = pictures;
    pattern.slices = slices;
    std::fprintf(stderr, "making a %dx%d recording of %d pictures, %d slice(s) each (kept in %s)\n", width,
                 height, pictures, slices, DLP_BENCH_CACHE_DIR);
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

bool LoadOrMakeInput(int width, int height, int pictures, int slices, BenchInput& input,
                     std::string& error) {
    input.recordingPath = CachePath(width, height, pictures, slices, ".dat");
    input.videoStreamPath = CachePath(width, height, pictures, slices, "-video.h265");
    // The recording is written last, so with it the other two exist.
    if (Exists(input.recordingPath) && Exists(input.videoStreamPath)) {
        return ReadWholeFile(input.recordingPath, input.recording, error) &&
               ReadWholeFile(StreamPath(input), input.elementaryStream, error);
    }
    return MakeInput(width, height, pictures, slices, input, error);
}

bool MakePacedRecording(const BenchInput& input, int pictures, uint64_t bytesPerSecond,
                        std::vector<uint8_t>& recording, std::string& error) {
    const std::vector<uint8_t> video = FirstPictures(StripTelemetryAndEnd(input.elementaryStream), pictures);
    const int available = static_cast<int>(CountPictures(video));
    if (available < pictures) {
        error = input.recordingPath + " holds " + std::to_string(available) + " pictures, " +
                std::to_string(pictures) + " wanted";
        return false;
    }
    std::vector<TelemetryRecord> records;
    if (!FlightRecords(pictures, records, error)) return false;
    RecordingOptions options;
    options.targetBytesPerSecond = bytesPerSecond;
    recording = BuildRecording(video, records, options);
    return true;
}
