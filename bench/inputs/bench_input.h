#pragma once
// The benchmarks' inputs: a real link recording made by the recording
// library (test pattern, flight-path telemetry, 480-byte payloads) and the
// elementary stream it carries. Encoding is the slow part, so each input is
// made once and kept as files in the build folder.
//
// The 4-slice input differs from the single-slice one in its slices only
// (same pictures, same encoder settings), so that their figures compare.

#include <cstdint>
#include <string>
#include <vector>

struct BenchInput {
    std::vector<uint8_t> recording;
    std::vector<uint8_t> elementaryStream;  // telemetry units included, as framed
    std::string recordingPath;
    // The encoder's units alone, for the ffmpeg reference: it would take
    // the telemetry units for slices (their header byte reads as type 3)
    // and spend its time on their errors, where the player captures them.
    std::string videoStreamPath;
};

// A few hundred 1920 x 1080 pictures: long enough for steady figures, short
// enough to encode once in under a minute.
constexpr int kBenchWidth = 1920;
constexpr int kBenchHeight = 1080;
constexpr int kBenchPictures = 300;
constexpr int kBenchSlices = 4;  // the multi-slice input's slices per picture

bool LoadOrMakeInput(int width, int height, int pictures, int slices, BenchInput& input,
                     std::string& error);

// The first `pictures` pictures of `input`'s video with the flight-path
// telemetry, padded with filler to `bytesPerSecond` at 25 pictures a second
// as the bundled sample is, and closed by an end unit. Cheap: no encoding.
bool MakePacedRecording(const BenchInput& input, int pictures, uint64_t bytesPerSecond,
                        std::vector<uint8_t>& recording, std::string& error);
