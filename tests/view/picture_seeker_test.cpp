// The viewer's index and seeker on real recordings decoded by the real
// libavcodec: every picture asked for, in any order, is the one its number
// and its record name.

#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <random>
#include <string>
#include <vector>

extern "C" {
#include <libavutil/frame.h>
}

#include "core/demux/byte_source.h"
#include "lib/view/index_builder.h"
#include "lib/view/picture_seeker.h"
#include "tests/view/view_recordings.h"

namespace {

int Marker(const PictureIndex& index, int64_t number) {
    const IndexedPicture& p = index.Picture(number);
    return p.hasTelemetry ? static_cast<int>(std::lround(p.values.height)) : -1;
}

// Forward, backward, far jumps and repeats, the same for every case.
std::vector<int64_t> Requests(int64_t count) {
    std::vector<int64_t> requests = {1, 2, 3, count, count - 1, count - 2, count / 2, count / 2 - 1, 1, count / 2 + 1};
    std::mt19937 random(7);
    for (int i = 0; i < 40; ++i) requests.push_back(1 + static_cast<int64_t>(random() % static_cast<uint32_t>(count)));
    for (int64_t n = count; n >= 1; --n) requests.push_back(n);
    return requests;
}

struct Case {
    const char* name;
    ViewRecordingOptions options;
};

TEST(PictureSeeker, EveryPictureAskedForIsTheOneItsRecordNames) {
    const Case cases[] = {
        {"I and P pictures", {40, 10, 0, true, 1, {}}},
        {"3 B-frames, open GOP", {40, 12, 3, true, 1, {}}},
        {"3 B-frames, closed GOP", {40, 12, 3, false, 1, {}}},
        {"four slices", {30, 10, 0, true, 4, {}}},
        {"one key picture only", {60, 250, 0, true, 1, {}}},
        {"pictures half the size from picture 31 on", {60, 10, 3, true, 1, {}, 31}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::vector<uint8_t> recording = MakeViewRecording(c.options);
        const PictureIndex index = IndexOf(recording);
        ASSERT_EQ(index.Count(), static_cast<size_t>(c.options.pictures));
        for (int64_t n = 1; n <= static_cast<int64_t>(index.Count()); ++n) {
            ASSERT_EQ(Marker(index, n), n) << "the record of picture " << n;
            EXPECT_DOUBLE_EQ(index.TimeOf(n), static_cast<double>(n - 1) / 25) << n;
            EXPECT_EQ(index.NumberAtTime(index.TimeOf(n)), n);
        }
        for (int32_t threads : {1, 0}) {
            PictureSeeker seeker(std::make_unique<MemoryByteSource>(recording.data(), recording.size()), threads);
            ASSERT_TRUE(seeker.Ready());
            for (int64_t n : Requests(static_cast<int64_t>(index.Count()))) {
                const AVFrame* frame = seeker.Decode(index, n);
                ASSERT_NE(frame, nullptr) << "picture " << n << " with " << threads << " threads";
                ASSERT_EQ(PictureShown(*frame), n) << "picture " << n << " with " << threads << " threads";
                EXPECT_FALSE(seeker.Damaged(n)) << n;
            }
        }
    }
}

// Playing on decodes each picture once; stepping back within what was kept
// decodes nothing again.
TEST(PictureSeeker, PlayingOnAndSteppingBackDoNotSeekAgain) {
    const std::vector<uint8_t> recording = MakeViewRecording({50, 25, 3, true, 1, {}});
    const PictureIndex index = IndexOf(recording);
    PictureSeeker seeker(std::make_unique<MemoryByteSource>(recording.data(), recording.size()), 1);
    for (int64_t n = 1; n <= 50; ++n) ASSERT_NE(seeker.Decode(index, n), nullptr) << n;
    EXPECT_EQ(seeker.Seeks(), 1u);
    for (int64_t n = 50; n >= 1; --n) ASSERT_EQ(PictureShown(*seeker.Decode(index, n)), n);
    EXPECT_EQ(seeker.Seeks(), 1u);
}

// A recording still being written: the index ends where the bytes do, and
// its last pictures decode as they are now, reordered ones included.
TEST(PictureSeeker, TheEndOfARecordingStillBeingWrittenDecodes) {
    for (int bframes : {0, 3}) {
        SCOPED_TRACE(bframes);
        const std::vector<uint8_t> recording = MakeViewRecording({120, 25, bframes, true, 1, {}});
        const size_t written = recording.size() / 3;
        PictureIndex index;
        IndexBuilder builder(std::make_unique<MemoryByteSource>(recording.data(), written), index);
        while (builder.Step()) {
        }
        ASSERT_GT(index.Count(), 30u);
        PictureSeeker seeker(std::make_unique<MemoryByteSource>(recording.data(), written), 1);
        const int64_t last = static_cast<int64_t>(index.Count());
        for (int64_t n : {last, last - 1, last - 5, last - 20, last}) {
            const AVFrame* frame = seeker.Decode(index, n);
            ASSERT_NE(frame, nullptr) << n;
            EXPECT_EQ(PictureShown(*frame), n);
        }
    }
}

// A damaged link: whatever the index lists, the seeker shows the picture
// its record names, or nothing, or marks it damaged; never another one.
TEST(PictureSeeker, OnADamagedLinkAPictureShownIsTheOneItsRecordNames) {
    for (uint64_t seed = 1; seed <= 4; ++seed) {
        SCOPED_TRACE(seed);
        ViewRecordingOptions options{60, 10, seed % 2 == 0 ? 3 : 0, true, 1, {}};
        options.impairments.seed = seed;
        options.impairments.dropRate = 0.01;
        options.impairments.invalidLengthRate = 0.005;
        options.impairments.noiseBytesBetweenFrames = 40;
        options.impairments.noiseProbability = 0.05;
        const std::vector<uint8_t> recording = MakeViewRecording(options);
        const PictureIndex index = IndexOf(recording);
        ASSERT_GT(index.Count(), 30u);
        EXPECT_FALSE(index.Marks().empty());
        PictureSeeker seeker(std::make_unique<MemoryByteSource>(recording.data(), recording.size()), 1);
        int shownWhole = 0;
        for (int64_t n : Requests(static_cast<int64_t>(index.Count()))) {
            const AVFrame* frame = seeker.Decode(index, n);
            if (frame == nullptr || seeker.Damaged(n) || Marker(index, n) < 0) continue;
            EXPECT_EQ(PictureShown(*frame), Marker(index, n)) << "picture " << n;
            ++shownWhole;
        }
        EXPECT_GT(shownWhole, 20);
    }
}

}  // namespace
