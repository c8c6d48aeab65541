#include "tests/view/view_recordings.h"

#include <cmath>
#include <cstring>
#include <stdexcept>
#include <string>

extern "C" {
#include <libavutil/frame.h>
}

#include "lib/making/display_order.h"
#include "lib/making/pattern_encoder.h"
#include "lib/making/recording_builder.h"
#include "lib/formats/telemetry_track.h"

namespace {
// Far enough apart that coding noise never moves a level to its neighbour's.
constexpr int kLevelStep = 3;  // up to 80 pictures
constexpr int kFirstLevel = 12;
}  // namespace

std::vector<uint8_t> MakeViewRecording(const ViewRecordingOptions& options) {
    if (options.pictures > 80) throw std::invalid_argument("grey levels for 80 pictures at most");
    PatternOptions pattern;
    pattern.width = 128;
    pattern.height = 64;
    pattern.frames = options.pictures;
    pattern.keyint = options.keyint;
    pattern.bframes = options.bframes;
    pattern.openGop = options.openGop;
    pattern.slices = options.slices;
    std::vector<uint8_t> es;
    std::string error;
    const auto grey = [](int index, int width, int height, uint8_t* rgb) {
        std::memset(rgb, kFirstLevel + kLevelStep * index, static_cast<size_t>(width) * height * 3);
    };
    if (!EncodePictures(pattern, grey, es, error)) throw std::runtime_error("encoding: " + error);
    std::vector<TelemetryRecord> shown;
    for (int k = 1; k <= options.pictures; ++k) {
        TelemetryRecord record{};
        if (!EncodeRecord(TelemetrySample{10.0 + k, 45, 116 + k * 1e-4, 39 + k * 1e-4, static_cast<double>(k)}, record,
                          error))
            throw std::runtime_error("record: " + error);
        shown.push_back(record);
    }
    RecordingOptions recording;
    recording.impairments = options.impairments;
    return BuildRecording(es, RecordsInCodingOrder(shown, es), recording);
}

// Full-range grey g becomes limited-range luma 16 + g * 219 / 255.
int PictureShown(const AVFrame& frame) {
    double sum = 0;
    const int rows = frame.height / 2, columns = frame.width / 2;
    for (int y = rows / 2; y < rows / 2 + rows; ++y) {
        for (int x = columns / 2; x < columns / 2 + columns; ++x) sum += frame.data[0][y * frame.linesize[0] + x];
    }
    const double luma = sum / (rows * columns);
    const double grey = (luma - 16) * 255 / 219;
    return static_cast<int>(std::lround((grey - kFirstLevel) / kLevelStep)) + 1;
}
