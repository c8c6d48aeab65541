// Damaged recordings played by the built player. A clean head, the damage,
// then a clean tail: the player must keep running, keep its console lines
// well formed and show the tail's pictures once clean data is back.

#include <gtest/gtest.h>

#include <cstdlib>
#include <iostream>

#include "pipeline/decode_data.h"
#include "tests/robustness/support/downlink_stream.h"
#include "tests/robustness/support/impairments.h"
#include "tests/robustness/support/player_session.h"

namespace {

constexpr int kHeadFirst = 1;
constexpr int kHeadCount = 3;
constexpr int kDamagedFirst = 101;
constexpr int kTailFirst = 1001;
constexpr int kTailCount = 6;
constexpr int kTailLast = kTailFirst + kTailCount - 1;
constexpr auto kPlayLimit = std::chrono::seconds(120);

Bytes Segment(int width, int height, int count, int firstMarker, int intraPeriod = 1) {
    PictureRequest request;
    request.width = width;
    request.height = height;
    request.count = count;
    request.intraPeriod = intraPeriod;
    return PicturesWithTelemetry(EncodePictures(request), firstMarker);
}

Bytes FramedSegment(int width, int height, int count, int firstMarker, int intraPeriod = 1) {
    return LinkFrames(Segment(width, height, count, firstMarker, intraPeriod));
}

Bytes CleanTail(int width = 640, int height = 360) {
    Bytes tail = Segment(width, height, kTailCount, kTailFirst);
    Append(tail, StreamEnd());
    return LinkFrames(tail, LinkFraming{1});
}

struct Outcome {
    ConsoleLines lines;
    bool runningBeforeStop;
    int status;
    std::string errors;
};

// Plays until the tail's last picture is shown, then stops the player.
Outcome Play(const Bytes& recording, int lastMarker = kTailLast) {
    PlayerSession session(recording);
    session.Start();
    session.ReadUntil(
        [lastMarker](const ConsoleLines& lines) {
            return CountMarkers(lines, lastMarker, lastMarker) > 0;
        },
        kPlayLimit);
    Outcome outcome;
    outcome.runningBeforeStop = session.StillRunning();
    outcome.status = session.Stop();
    outcome.lines = session.Lines();
    outcome.errors = session.Errors();
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

Bytes SparseBitFlips() {
    Bytes damaged = FramedSegment(1920, 1080, 8, kDamagedFirst, 4);
    FlipPayloadBits(damaged, 1e-4, 11);
    return damaged;
}

Bytes DenseBitFlips() {
    Bytes damaged = FramedSegment(1920, 1080, 8, kDamagedFirst, 4);
    FlipPayloadBits(damaged, 1e-2, 12);
    return damaged;
}

// The recording breaks off inside a frame, and the tail's frames follow.
Bytes FrameCutShort() {
    Bytes damaged = FramedSegment(1920, 1080, 3, kDamagedFirst);
    damaged.resize(damaged.size() - 512 * 7 - 300);
    return damaged;
}

Bytes RandomNoise() { return RandomBytes(30000, 13); }

Bytes DroppedAndRepeatedFrames() {
    return DropAndRepeatFrames(FramedSegment(1920, 1080, 8, kDamagedFirst, 4), 13, 7);
}

// One start code, then more bytes without another than the assembly buffer
// holds.
Bytes UnitLongerThanAssemblyBuffer() {
    Bytes unit = {0x00, 0x00, 0x00, 0x01, 0x26, 0x01};
    unit.resize(static_cast<size_t>(DecodeData::kNalBufSize) + 100000, 0xA5);
    return LinkFrames(unit);
}

class ImpairedRecording : public testing::TestWithParam<Damage> {};

TEST_P(ImpairedRecording, KeepsRunningAndShowsTheCleanTailAgain) {
    Bytes recording = FramedSegment(640, 360, kHeadCount, kHeadFirst);
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
    Bytes stream = Segment(1920, 1080, 2, 1);
    Append(stream, Segment(1280, 720, 2, 11));
    Append(stream, Segment(640, 360, 2, 21));
    Append(stream, Segment(1920, 1080, 2, 31));
    Append(stream, StreamEnd());

    const Outcome outcome = Play(LinkFrames(stream), 32);

    ExpectOrderlyAndWellFormed(outcome);
    for (int first : {1, 11, 21, 31}) EXPECT_EQ(CountMarkers(outcome.lines, first, first + 1), 2);
}

TEST(ImpairedRecordingSizes, ShowsOddSizedPictures) {
    Bytes stream = Segment(1918, 1078, 3, 1, 3);
    Append(stream, Segment(1920, 1080, 2, 11));
    Append(stream, StreamEnd());

    const Outcome outcome = Play(LinkFrames(stream), 12);

    ExpectOrderlyAndWellFormed(outcome);
    EXPECT_EQ(CountMarkers(outcome.lines, 1, 3), 3);
    EXPECT_EQ(CountMarkers(outcome.lines, 11, 12), 2);
}

// A telemetry unit that ends before its declared size still replaces the
// record, with zeros for what it does not carry; the pictures are shown.
TEST(ImpairedRecordingTelemetry, ShowsPicturesWhoseTelemetryIsCutShort) {
    PictureRequest request;
    request.width = 640;
    request.height = 360;
    request.count = 4;
    Bytes stream;
    for (const Bytes& picture : EncodePictures(request)) {
        Append(stream, TelemetryUnit(7, 60));
        Append(stream, picture);
    }
    Append(stream, StreamEnd());
    Bytes recording = LinkFrames(stream);
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
