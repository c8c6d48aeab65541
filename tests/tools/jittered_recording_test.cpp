// A recording made through a jittery link: its frames swapped, moved and
// repeated. Read through the frame ordering it gives exactly the stream,
// records and pictures of the clean recording; read as stored it does not.
// A frame moved farther than the window is given up and counted late.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/format/link_frame.h"
#include "lib/making/pattern_encoder.h"
#include "lib/making/recording_builder.h"
#include "lib/reading/recording_reader.h"

namespace {

using Bytes = std::vector<uint8_t>;
constexpr size_t kFrame = link_frame::kFrameSize;
constexpr int kPictures = 60;

const Bytes& Clean() {
    static const Bytes recording = [] {
        PatternOptions pattern;
        pattern.width = 320;
        pattern.height = 240;
        pattern.frames = kPictures;
        pattern.keyint = 10;
        pattern.slices = 2;
        pattern.bframes = 2;
        Bytes es;
        std::string error;
        EXPECT_TRUE(EncodeTestPattern(pattern, es, error)) << error;
        std::vector<TelemetryRecord> records(kPictures);
        for (size_t i = 0; i < records.size(); ++i) records[i].bytes[0] = static_cast<uint8_t>(i + 1);
        return BuildRecording(es, records, RecordingOptions{});
    }();
    return recording;
}

size_t Frames(const Bytes& recording) { return recording.size() / kFrame; }

void SwapFrames(Bytes& recording, size_t a, size_t b) {
    std::swap_ranges(recording.begin() + static_cast<long>(a * kFrame),
                     recording.begin() + static_cast<long>((a + 1) * kFrame),
                     recording.begin() + static_cast<long>(b * kFrame));
}

// Frame `from` taken out and put back `by` frames later.
void MoveFrameLater(Bytes& recording, size_t from, size_t by) {
    for (size_t i = from; i < from + by; ++i) SwapFrames(recording, i, i + 1);
}

void RepeatFrame(Bytes& recording, size_t frame) {
    const Bytes copy(recording.begin() + static_cast<long>(frame * kFrame),
                     recording.begin() + static_cast<long>((frame + 1) * kFrame));
    recording.insert(recording.begin() + static_cast<long>((frame + 1) * kFrame), copy.begin(), copy.end());
}

RecordingReport Read(const Bytes& recording, int64_t reorderMs) {
    ReadOptions read;
    read.decode = true;
    read.reorderMs = reorderMs;
    return ReadRecordingBytes(recording, read);
}

Bytes Jittered() {
    Bytes recording = Clean();
    EXPECT_GT(Frames(recording), 150u);
    for (size_t f = 10; f + 1 < Frames(recording); f += 23) SwapFrames(recording, f, f + 1);
    MoveFrameLater(recording, 60, 6);
    RepeatFrame(recording, 100);
    return recording;
}

TEST(JitteredRecording, ReadsAsTheCleanRecordingThroughTheOrdering) {
    const RecordingReport clean = Read(Clean(), FrameOrder::kDefaultWindowMs);
    const RecordingReport jittered = Read(Jittered(), FrameOrder::kDefaultWindowMs);
    ASSERT_EQ(clean.pictures, static_cast<uint64_t>(kPictures));
    EXPECT_EQ(jittered.elementaryStream, clean.elementaryStream);
    EXPECT_EQ(jittered.shownTags, clean.shownTags);
    EXPECT_EQ(jittered.records.size(), clean.records.size());
    EXPECT_EQ(jittered.wholePictures, static_cast<uint64_t>(kPictures));
    EXPECT_TRUE(jittered.decoderErrors.empty());
    EXPECT_EQ(jittered.sequenceBreaks, 0u);
    EXPECT_EQ(jittered.linkFrames, clean.linkFrames);
    EXPECT_EQ(jittered.duplicateFrames, 1u);
    EXPECT_EQ(jittered.lateFrames, 0u);
    EXPECT_EQ(jittered.lostFrames, 0u);

    const RecordingReport asStored = Read(Jittered(), 0);
    EXPECT_GT(asStored.sequenceBreaks, 10u);
    EXPECT_NE(asStored.elementaryStream, clean.elementaryStream);
}

TEST(JitteredRecording, AFrameLaterThanTheWindowIsGivenUpAndCountedLate) {
    Bytes recording = Clean();
    ASSERT_GT(Frames(recording), 150u);
    MoveFrameLater(recording, 50, static_cast<size_t>(FrameOrder::kDefaultWindowMs) + 20);
    const RecordingReport r = Read(recording, FrameOrder::kDefaultWindowMs);
    EXPECT_EQ(r.lostFrames, 1u);
    EXPECT_EQ(r.lateFrames, 1u);
    EXPECT_EQ(r.sequenceBreaks, 1u);
    EXPECT_EQ(r.linkFrames, Frames(recording) - 1);
}

}  // namespace
