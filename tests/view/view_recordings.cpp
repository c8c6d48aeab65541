#include "tests/view/view_recordings.h"

#include <cmath>
#include <cstring>
#include <memory>
#include <stdexcept>
#include <string>

extern "C" {
#include <libavutil/frame.h>
}

#include "core/demux/byte_source.h"
#include "lib/formats/telemetry_track.h"
#include "lib/making/display_order.h"
#include "lib/making/pattern_encoder.h"
#include "lib/making/recording_builder.h"
#include "lib/view/index_builder.h"

namespace {

// Far enough apart that coding noise never moves a level to its neighbour's.
constexpr int kLevelStep = 12;
constexpr int kFirstLevel = 16;
constexpr int kLevels = 16;

int LeftGrey(int index) { return kFirstLevel + kLevelStep * (index / kLevels); }
int RightGrey(int index) { return kFirstLevel + kLevelStep * (index % kLevels); }

void DrawHalves(int index, int width, int height, uint8_t* rgb) {
    for (int y = 0; y < height; ++y) {
        uint8_t* row = rgb + static_cast<size_t>(y) * width * 3;
        std::memset(row, LeftGrey(index), static_cast<size_t>(width / 2) * 3);
        std::memset(row + static_cast<size_t>(width / 2) * 3, RightGrey(index), static_cast<size_t>(width - width / 2) * 3);
    }
}

int Level(double grey) { return static_cast<int>(std::lround((grey - kFirstLevel) / kLevelStep)); }

}  // namespace

PictureIndex IndexOf(const std::vector<uint8_t>& recording) {
    PictureIndex index;
    IndexBuilder builder(std::make_unique<MemoryByteSource>(recording.data(), recording.size()), index);
    while (builder.Step()) {
    }
    builder.Finish();
    index.SetComplete(true);
    return index;
}

double ViewLatitude(int) { return 39.9; }
double ViewLongitude(int k) { return 116.4 + k * 1e-4; }

std::vector<uint8_t> MakeViewRecording(const ViewRecordingOptions& options) {
    if (options.pictures > kLevels * kLevels) throw std::invalid_argument("grey levels for 256 pictures at most");
    // Each part starts with a key picture and its own parameter sets.
    std::vector<uint8_t> es;
    const int parts[][2] = {{0, options.resizeAt > 1 ? options.resizeAt - 1 : options.pictures},
                            {options.resizeAt > 1 ? options.resizeAt - 1 : options.pictures, options.pictures}};
    for (const auto& part : parts) {
        if (part[1] <= part[0]) continue;
        PatternOptions pattern;
        pattern.width = part[0] == 0 ? kViewWidth : kViewWidth / 2;
        pattern.height = part[0] == 0 ? kViewHeight : kViewHeight / 2;
        pattern.frames = part[1] - part[0];
        pattern.keyint = options.keyint;
        pattern.bframes = options.bframes;
        pattern.openGop = options.openGop;
        pattern.slices = options.slices;
        const int first = part[0];
        std::vector<uint8_t> piece;
        std::string error;
        const auto draw = [first](int index, int width, int height, uint8_t* rgb) {
            DrawHalves(first + index, width, height, rgb);
        };
        if (!EncodePictures(pattern, draw, piece, error)) throw std::runtime_error("encoding: " + error);
        es.insert(es.end(), piece.begin(), piece.end());
    }
    std::string error;
    std::vector<TelemetryRecord> shown;
    for (int k = 1; k <= options.pictures; ++k) {
        TelemetryRecord record{};
        const TelemetrySample sample{k * 0.5, 45, ViewLongitude(k), ViewLatitude(k), static_cast<double>(k)};
        if (!EncodeRecord(sample, record, error)) throw std::runtime_error("record: " + error);
        shown.push_back(record);
    }
    RecordingOptions recording;
    recording.impairments = options.impairments;
    return BuildRecording(es, RecordsInCodingOrder(shown, es), recording);
}

int PictureFromGreys(double left, double right) {
    const int high = Level(left), low = Level(right);
    if (high < 0 || high >= kLevels || low < 0 || low >= kLevels) return -1;
    return high * kLevels + low + 1;
}

// Full-range grey g becomes limited-range luma 16 + g * 219 / 255.
int PictureShown(const AVFrame& frame) {
    const auto grey = [&frame](int x) {
        const int y = frame.height / 2;
        double sum = 0;
        for (int dx = -4; dx < 4; ++dx) sum += frame.data[0][y * frame.linesize[0] + x + dx];
        return (sum / 8 - 16) * 255 / 219;
    };
    return PictureFromGreys(grey(frame.width / 4), grey(frame.width * 3 / 4));
}
