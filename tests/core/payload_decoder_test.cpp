// The decoding steps have two owners: the player's pipeline object and the
// PayloadDecoder every other program uses. On the same recordings both must
// show the same pictures, with the same records and tags, and the threaded
// LinkPipeline the same again; a stalled worker loses payloads to the
// queue's discard rule without harm.

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "core/demux/link_frames.h"
#include "core/session/link_pipeline.h"
#include "core/session/payload_decoder.h"
#include "pipeline/decode_data.h"
#include "lib/making/pattern_encoder.h"
#include "lib/making/recording_builder.h"

namespace {

using Bytes = std::vector<uint8_t>;

struct Seen {
    int64_t tag;
    int32_t width;
    int32_t height;
    uint8_t recordMark;
    uint64_t pixelSum;  // of the shown pixels; 0 without them
    bool operator==(const Seen& o) const {
        return tag == o.tag && width == o.width && height == o.height && recordMark == o.recordMark &&
               pixelSum == o.pixelSum;
    }
};

std::ostream& operator<<(std::ostream& out, const Seen& s) {
    return out << "#" << s.tag << " " << s.width << "x" << s.height << " record " << int(s.recordMark) << " sum "
               << s.pixelSum;
}

Seen Take(const ShownPicture& picture) {
    uint64_t sum = 0;
    if (picture.rgb != nullptr) {
        const size_t bytes = static_cast<size_t>(picture.width) * picture.height * 3;
        for (size_t i = 0; i < bytes; i += 7) sum = sum * 31 + picture.rgb[i];
    }
    return {picture.tag, picture.width, picture.height, picture.record.bytes[0], sum};
}

struct Case {
    const char* name;
    int width, height, pictures, slices, bframes, videoType;
    bool damaged;
};

void PrintTo(const Case& c, std::ostream* out) { *out << c.name; }

Bytes MakeRecording(const Case& c) {
    PatternOptions pattern;
    pattern.width = c.width;
    pattern.height = c.height;
    pattern.frames = c.pictures;
    pattern.keyint = 6;
    pattern.slices = c.slices;
    pattern.bframes = c.bframes;
    Bytes es;
    std::string error;
    EXPECT_TRUE(EncodeTestPattern(pattern, es, error)) << error;
    std::vector<TelemetryRecord> records(static_cast<size_t>(c.pictures));
    for (size_t i = 0; i < records.size(); ++i) records[i].bytes[0] = static_cast<uint8_t>(i + 1);
    Bytes recording = BuildRecording(es, records, RecordingOptions{});
    if (c.damaged) {
        std::mt19937 random(7);
        for (int i = 0; i < 40; ++i) recording[random() % recording.size()] ^= static_cast<uint8_t>(1 + random() % 255);
    }
    return recording;
}

std::vector<Seen> ThroughPlayerPipeline(const Bytes& recording, int videoType) {
    std::vector<Seen> seen;
    DecodeData pipeline;
    pipeline.videoType = videoType;
    pipeline.Present(Presentation::Headless());
    pipeline.AllocateBuffers();
    pipeline.OpenDecoder();
    pipeline.onPicture = [&seen](const ShownPicture& picture) { seen.push_back(Take(picture)); };
    pipeline.FeedAndSplit(recording.data(), recording.size());
    return seen;
}

PayloadDecoderOptions Observing(std::vector<Seen>& seen, int videoType) {
    PayloadDecoderOptions options;
    options.videoType = videoType;
    options.onPicture = [&seen](const ShownPicture& picture) { seen.push_back(Take(picture)); };
    return options;
}

std::vector<Seen> ThroughPayloadDecoder(const Bytes& recording, int videoType) {
    std::vector<Seen> seen;
    PayloadDecoder decoder(Observing(seen, videoType));
    link_frames::Parser link;
    link.Feed(recording.data(), static_cast<int32_t>(recording.size()), [&decoder](const link_frames::Frame& frame) {
        if (frame.valid) decoder.Split(frame.Payload(), static_cast<int32_t>(frame.payloadLength));
    });
    decoder.Finish();
    return seen;
}

// Waits while the count still grows; returns once it reaches `wanted` or
// has not moved for a while, however busy the machine.
template <typename Count>
void WaitForProgress(Count count, size_t wanted) {
    size_t last = count();
    auto lastMove = std::chrono::steady_clock::now();
    while (count() < wanted && std::chrono::steady_clock::now() - lastMove < std::chrono::seconds(20)) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
        if (count() != last) {
            last = count();
            lastMove = std::chrono::steady_clock::now();
        }
    }
}

std::vector<Seen> ThroughLinkPipeline(const Bytes& recording, int videoType) {
    std::mutex lock;
    std::vector<Seen> seen;
    PayloadDecoderOptions options;
    options.videoType = videoType;
    options.onPicture = [&](const ShownPicture& picture) {
        std::lock_guard<std::mutex> hold(lock);
        seen.push_back(Take(picture));
    };
    LinkPipeline pipeline(std::move(options));
    // Pieces of every size, as a socket delivers them; the queue never
    // comes near its limit, which would drop payloads.
    std::mt19937 random(3);
    for (size_t pos = 0; pos < recording.size();) {
        const size_t take = std::min<size_t>(1 + random() % 3000, recording.size() - pos);
        pipeline.Parse(recording.data() + pos, static_cast<int32_t>(take));
        pos += take;
        while (pipeline.QueuedPayloads() > LinkPipeline::kQueueLimit / 2) std::this_thread::yield();
    }
    WaitForProgress([&pipeline] { return pipeline.QueuedPayloads() == 0 ? size_t{1} : size_t{0}; }, 1);
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    pipeline.Stop();
    EXPECT_EQ(pipeline.DiscardedPayloads(), 0u);
    return seen;
}

class BothOwners : public ::testing::TestWithParam<Case> {};

TEST_P(BothOwners, ShowTheSamePicturesWithTheSameRecordsAndTags) {
    const Case& c = GetParam();
    const Bytes recording = MakeRecording(c);
    const std::vector<Seen> player = ThroughPlayerPipeline(recording, c.videoType);
    if (!c.damaged) {
        ASSERT_GE(player.size(), static_cast<size_t>(c.pictures - 2 * c.bframes));
    }
    EXPECT_EQ(ThroughPayloadDecoder(recording, c.videoType), player);
    EXPECT_EQ(ThroughLinkPipeline(recording, c.videoType), player);
}

INSTANTIATE_TEST_SUITE_P(
    Streams, BothOwners,
    ::testing::Values(Case{"OneSlice", 320, 240, 14, 1, 0, 1, false},
                      Case{"FourSlicesWithBFrames", 320, 256, 14, 4, 2, 1, false},
                      Case{"FourSlicesDamaged", 320, 256, 14, 4, 2, 1, true},
                      Case{"ChannelZeroCrop", 1920, 1080, 3, 1, 0, 0, false}),
    [](const ::testing::TestParamInfo<Case>& info) { return std::string(info.param.name); });

// A worker held up in its observer: the link goes on being parsed, the
// queue empties itself at its limit and counts what it threw away, and the
// worker, once free, decodes on from the next start code.
TEST(LinkPipelineTest, AStalledWorkerLosesPayloadsToTheDiscardRuleAndRecovers) {
    const Bytes recording = MakeRecording({"", 320, 240, 40, 1, 0, 1, false});
    std::mutex lock;
    std::condition_variable released;
    bool stalled = true;
    std::atomic<size_t> pictures{0};
    PayloadDecoderOptions options;
    options.onPicture = [&](const ShownPicture&) {
        ++pictures;
        std::unique_lock<std::mutex> hold(lock);
        released.wait(hold, [&] { return !stalled; });
    };
    LinkPipeline pipeline(std::move(options));
    pipeline.Parse(recording.data(), static_cast<int32_t>(recording.size()));
    WaitForProgress([&pictures] { return pictures.load(); }, 1);
    ASSERT_EQ(pictures.load(), 1u);
    // The worker now holds: enough link frames to pass the limit.
    size_t parsed = 0;
    while (parsed <= 2 * LinkPipeline::kQueueLimit * link_frame::kFrameSize) {
        pipeline.Parse(recording.data(), static_cast<int32_t>(recording.size()));
        parsed += recording.size();
    }
    EXPECT_GT(pipeline.DiscardedPayloads(), 0u);
    EXPECT_LE(pipeline.QueuedPayloads(), LinkPipeline::kQueueLimit);
    {
        std::lock_guard<std::mutex> hold(lock);
        stalled = false;
    }
    released.notify_all();
    WaitForProgress([&pipeline] { return pipeline.QueuedPayloads() == 0 ? size_t{1} : size_t{0}; }, 1);
    pipeline.Stop();
    EXPECT_GT(pictures.load(), 1u);
}

}  // namespace
