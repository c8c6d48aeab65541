// Damaged recordings played by the built player. A clean head, the damage,
// then a clean tail: the player must keep running, keep its console lines
// well formed and show the tail's pictures once clean data is back.

#include <gtest/gtest.h>

#include <cstdlib>
#include <iostream>

#include "pipeline/decode_data.h"
#include "tests/robustness/support/console_lines.h"
#include "tests/support/marked_streams.h"
#include "tests/support/player_process.h"
#include "lib/making/link_framer.h"
#include "lib/making/stream_builder.h"
#include "lib/making/telemetry_unit_writer.h"

namespace {

using test_player::PlayerOptions;
using test_player::PlayerProcess;
using test_player::WorkFolder;

constexpr int kHeadFirst = 1;
constexpr int kHeadCount = 3;
constexpr int kDamagedFirst = 101;
constexpr int kTailFirst = 1001;
constexpr int kTailCount = 6;
constexpr int kTailLast = kTailFirst + kTailCount - 1;
constexpr auto kPlayLimit = std::chrono::seconds(120);

Bytes FramedSegment(int width, int height, int count, int firstMarker, int intraPeriod,
                    const Impairments& impairments = {}) {
    return Framed(MarkedPictures(width, height, count, firstMarker, intraPeriod), impairments);
}

Bytes CleanTail(int width = 640, int height = 360) {
    return Framed(Closed(MarkedPictures(width, height, kTailCount, kTailFirst)));
}

struct Outcome {
    ConsoleLines lines;
    bool runningBeforeStop;
    int status;
    std::string errors;
};

// Plays until the tail's last picture is shown, then stops the player.
Outcome Play(const Bytes& recording, int lastMarker = kTailLast) {
    WorkFolder folder;
    folder.WriteRecording(recording);
    PlayerOptions options;
    options.consolePipe = true;
    PlayerProcess player(DLP_PLAYER_PATH, folder, options);
    player.ReadUntil(
        [lastMarker](const ConsoleLines& lines) {
            return CountMarkers(lines, lastMarker, lastMarker) > 0;
        },
        kPlayLimit);
    Outcome outcome;
    outcome.runningBeforeStop = player.Running();
    outcome.status = player.Stop();
    outcome.lines = player.Lines();
    outcome.errors = player.Stderr();
    if (std::getenv("DLP_SHOW_CONSOLE") != nullptr) {
        for (const std::string& line : outcome.lines) std::cerr << line << '\n';
    }
    return outcome;
}

void ExpectOrderlyAndWellFormed(const Outcome& outcome) {
    EXPECT_TRUE(outcome.runningBeforeStop) << outcome.errors;
    EXPECT_EQ(outcome.status, 0) << outcome.errors;
    for (const std::string& line : outcome.lines) EXPECT_TRUE(IsWellFormedConsoleLine(line)) << line;
}

// The tail starts behind the damage, where a false frame made from noise may
// still swallow its first link frame; every later picture must come through.
void ExpectTailShown(const Outcome& outcome) {
    EXPECT_GE(CountMarkers(outcome.lines, kTailFirst, kTailLast), kTailCount - 2);
    EXPECT_EQ(CountMarkers(outcome.lines, kTailLast, kTailLast), 1);
}

struct Damage {
    const char* name;
    Bytes (*make)();
};

// One bit of a payload byte flips at the rate given, per byte: 8e-4 a byte
// is about one bit in 10^4.
Impairments BitFlips(double perByte, uint64_t seed) {
    Impairments impairments;
    impairments.seed = seed;
    impairments.bitFlipRate = perByte;
    return impairments;
}

Bytes SparseBitFlips() { return FramedSegment(1920, 1080, 8, kDamagedFirst, 4, BitFlips(8e-4, 11)); }

Bytes DenseBitFlips() { return FramedSegment(1920, 1080, 8, kDamagedFirst, 4, BitFlips(8e-2, 12)); }

// The recording breaks off inside a frame, and the tail's frames follow.
Bytes FrameCutShort() {
    Bytes damaged = FramedSegment(1920, 1080, 3, kDamagedFirst, 1);
    damaged.resize(damaged.size() - 512 * 7 - 300);
    return damaged;
}

Bytes RandomNoise() { return LinkNoise(30000, 13); }

// About one frame in 13 lost and one in 7 sent twice.
Bytes DroppedAndRepeatedFrames() {
    Impairments impairments;
    impairments.seed = 14;
    impairments.dropRate = 1.0 / 13;
    impairments.frameRepeatRate = 1.0 / 7;
    return FramedSegment(1920, 1080, 8, kDamagedFirst, 4, impairments);
}

// One start code, then more bytes without another than the assembly buffer
// holds.
Bytes UnitLongerThanAssemblyBuffer() {
    Bytes unit = {0x00, 0x00, 0x00, 0x01, 0x26, 0x01};
    unit.resize(static_cast<size_t>(DecodeData::kNalBufSize) + 100000, 0xA5);
    return Framed(unit);
}

class ImpairedRecording : public testing::TestWithParam<Damage> {};

TEST_P(ImpairedRecording, KeepsRunningAndShowsTheCleanTailAgain) {
    Bytes recording = FramedSegment(640, 360, kHeadCount, kHeadFirst, 1);
    Append(recording, GetParam().make());
    Append(recording, CleanTail());

    const Outcome outcome = Play(recording);

    ExpectOrderlyAndWellFormed(outcome);
    // The head only shows that decoding had begun: on a loaded machine a
    // worker that falls a whole backlog behind loses part of it by design.
    EXPECT_GE(CountMarkers(outcome.lines, kHeadFirst, kHeadCount), 1);
    ExpectTailShown(outcome);
}

INSTANTIATE_TEST_SUITE_P(
    Damages, ImpairedRecording,
    testing::Values(Damage{"SparseBitFlips", SparseBitFlips}, Damage{"DenseBitFlips", DenseBitFlips},
                    Damage{"FrameCutShort", FrameCutShort}, Damage{"RandomNoise", RandomNoise},
                    Damage{"DroppedAndRepeatedFrames", DroppedAndRepeatedFrames},
                    Damage{"UnitLongerThanAssemblyBuffer", UnitLongerThanAssemblyBuffer}),
    [](const testing::TestParamInfo<Damage>& info) { return std::string(info.param.name); });

// Every size change comes with new parameter sets at an IDR picture; each
// picture must be converted at its own size.
TEST(ImpairedRecordingSizes, FollowsSizeChangesMidStream) {
    Bytes stream = MarkedPictures(1920, 1080, 2, 1);
    Append(stream, MarkedPictures(1280, 720, 2, 11));
    Append(stream, MarkedPictures(640, 360, 2, 21));
    Append(stream, MarkedPictures(1920, 1080, 2, 31));

    const Outcome outcome = Play(Framed(Closed(stream)), 32);

    ExpectOrderlyAndWellFormed(outcome);
    for (int first : {1, 11, 21, 31}) EXPECT_EQ(CountMarkers(outcome.lines, first, first + 1), 2);
}

TEST(ImpairedRecordingSizes, ShowsOddSizedPictures) {
    Bytes stream = MarkedPictures(1918, 1078, 3, 1, 3);
    Append(stream, MarkedPictures(1920, 1080, 2, 11));

    const Outcome outcome = Play(Framed(Closed(stream)), 12);

    ExpectOrderlyAndWellFormed(outcome);
    EXPECT_EQ(CountMarkers(outcome.lines, 1, 3), 3);
    EXPECT_EQ(CountMarkers(outcome.lines, 11, 12), 2);
}

// A telemetry unit that ends before its declared size still replaces the
// record, with zeros for what it does not carry; the pictures are shown.
TEST(ImpairedRecordingTelemetry, ShowsPicturesWhoseTelemetryIsCutShort) {
    const std::vector<Bytes> cutShortUnits(4, BuildCutShortTelemetryUnit(MarkedRecord(7), 60));
    Bytes recording = Framed(Closed(InsertBeforePictures(EncodeScenes(640, 360, 4), cutShortUnits)));
    Append(recording, CleanTail());

    const Outcome outcome = Play(recording);

    ExpectOrderlyAndWellFormed(outcome);
    int cutShort = 0;
    for (const std::string& line : outcome.lines) {
        if (IsTelemetryLine(line) && line.find(",Lon:0,Lat:0,H:0") != std::string::npos) ++cutShort;
    }
    EXPECT_EQ(cutShort, 4);
    EXPECT_EQ(CountMarkers(outcome.lines, kTailFirst, kTailLast), kTailCount);
}

}  // namespace
