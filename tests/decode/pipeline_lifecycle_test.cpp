// DecodeData's construction, start-up and release.

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <future>
#include <thread>

#include "tests/support/link_frames.h"
#include "tests/support/pipeline_harness.h"

namespace {

bool AllZero(const uint8_t* bytes, size_t count) {
    for (size_t i = 0; i < count; ++i) {
        if (bytes[i] != 0) return false;
    }
    return true;
}

// What a fresh pipeline does first depends on the fields it tests before it
// writes them: its first link frames parse from a clean state (frame 1 after
// nothing is no break), its first unit is cut where its start code is, and
// its first line counts from 1 with an all-zero record on channel 1.
TEST(PipelineLifecycle, AFreshPipelineStartsFromACleanState) {
    DecodeData pipeline;
    EXPECT_EQ(pipeline.QueuedPayloads(), 0u);
    pipeline.AllocateBuffers();
    pipeline.Present({/*window=*/false, /*lines=*/true, /*firstUnitLine=*/false});
    test_pipeline::UnitLog log(pipeline);
    const test_pipeline::Bytes vps = {0x00, 0x00, 0x00, 0x01, 0x40, 0x01, 0x0C};
    test_pipeline::Bytes stream = vps;
    stream.insert(stream.end(), {0x00, 0x00, 0x00, 0x01, 0x42, 0x01});
    const auto frames = test_link::FrameStream(stream);
    pipeline.FeedAndSplit(frames.data(), frames.size());
    EXPECT_EQ(pipeline.linkFrameCount, 1u);
    EXPECT_EQ(pipeline.lostCount, 0);
    ASSERT_EQ(log.units.size(), 1u);
    EXPECT_EQ(log.units[0], vps);

    pipeline.picWidth = 2;
    pipeline.picHeight = 2;
    const uint8_t pixels[2 * 2 * 3] = {};
    ::testing::internal::CaptureStdout();
    pipeline.ShowFrame(pixels, pipeline.telemetry);
    EXPECT_EQ(::testing::internal::GetCapturedStdout(), "1,video:1,Az:0,Pt:90,Lon:0,Lat:0,H:0\n");
}

// Init opens the real decoder and starts the worker, which then drains what
// the replay queues.
TEST(PipelineLifecycle, InitStartsAWorkerThatSplitsQueuedPayloads) {
    DecodeData pipeline;
    pipeline.frameCount = 41;
    std::promise<std::vector<uint8_t>> firstUnit;
    bool delivered = false;
    pipeline.onNal = [&](const uint8_t* unit, int32_t length) {
        if (delivered) return;
        delivered = true;
        firstUnit.set_value(std::vector<uint8_t>(unit, unit + length));
    };
    ::testing::internal::CaptureStdout();
    pipeline.Init();

    EXPECT_EQ(pipeline.frameCount, 0);
    ASSERT_NE(pipeline.linkBuf, nullptr);
    EXPECT_TRUE(AllZero(pipeline.linkBuf, DecodeData::kLinkBufSize));
    ASSERT_NE(pipeline.nalBuf, nullptr);
    // The decoder reads past each unit into bytes never written yet.
    EXPECT_TRUE(AllZero(pipeline.nalBuf, DecodeData::kNalBufSize));
    EXPECT_NE(pipeline.cropBuf, nullptr);
    EXPECT_EQ(pipeline.rgbBuf, nullptr);
    EXPECT_EQ(pipeline.swsCtx, nullptr);
    EXPECT_NE(pipeline.codecCtx, nullptr);
    EXPECT_NE(pipeline.packet, nullptr);
    EXPECT_NE(pipeline.frame, nullptr);
    EXPECT_TRUE(pipeline.libRegistered);
    EXPECT_TRUE(pipeline.running);

    const std::vector<uint8_t> stream{0, 0, 0, 1, 0x40, 0x01, 0x0C, 0, 0, 0, 1, 0x42};
    const auto frames = test_link::FrameStream(stream);
    pipeline.ParseLink(frames.data(), static_cast<int32_t>(frames.size()));
    auto unit = firstUnit.get_future();
    // A bound against a hang, not a speed requirement.
    ASSERT_EQ(unit.wait_for(std::chrono::seconds(20)), std::future_status::ready);
    EXPECT_EQ(unit.get(), (std::vector<uint8_t>{0, 0, 0, 1, 0x40, 0x01, 0x0C}));

    pipeline.StopWorker();
    EXPECT_EQ(::testing::internal::GetCapturedStdout(), "aabbccdd:64,\n");
    EXPECT_FALSE(pipeline.running);
    EXPECT_EQ(pipeline.worker, nullptr);
}

// The player stops the worker from the thread that runs the window; while
// the worker waits on that thread (a window call), the stop must keep
// serving it rather than join at once and wait forever.
TEST(PipelineLifecycle, StopServesEventsWhileTheWorkerWaitsOnThem) {
    DecodeData pipeline;
    std::promise<void> entered;
    std::atomic<bool> served{false};
    pipeline.onNal = [&](const uint8_t*, int32_t) {
        entered.set_value();
        while (!served) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    };
    ::testing::internal::CaptureStdout();
    pipeline.Init();
    const auto frames = test_link::FrameStream({0, 0, 0, 1, 0x40, 0x01, 0x0C, 0, 0, 0, 1, 0x42});
    pipeline.ParseLink(frames.data(), static_cast<int32_t>(frames.size()));
    ASSERT_EQ(entered.get_future().wait_for(std::chrono::seconds(20)), std::future_status::ready);

    auto stopped = std::async(std::launch::async, [&] { pipeline.StopWorker([&] { served = true; }); });
    // A bound against a hang, not a speed requirement.
    const bool stoppedInTime = stopped.wait_for(std::chrono::seconds(20)) == std::future_status::ready;
    served = true;  // frees a worker the stop never served, so the test ends either way
    stopped.get();
    ::testing::internal::GetCapturedStdout();
    EXPECT_TRUE(stoppedInTime);
    EXPECT_EQ(pipeline.worker, nullptr);
}

TEST(PipelineLifecycle, ReleaseFreesTheHandlesAndMayRunTwice) {
    DecodeData pipeline;
    pipeline.Init();
    pipeline.StopWorker();
    const std::vector<uint8_t> payload(100, 0x11);
    pipeline.EnqueuePayload(payload.data(), 100);
    pipeline.Release();
    EXPECT_EQ(pipeline.codecCtx, nullptr);
    EXPECT_EQ(pipeline.packet, nullptr);
    EXPECT_EQ(pipeline.frame, nullptr);
    EXPECT_EQ(pipeline.swsCtx, nullptr);
    EXPECT_EQ(pipeline.rgbBuf, nullptr);
    EXPECT_NE(pipeline.linkBuf, nullptr) << "the link buffer outlives Release";
    EXPECT_EQ(pipeline.QueuedPayloads(), 1u) << "queued payloads outlive Release";
    pipeline.Release();
    pipeline.StopWorker();
}

// The destructor must stop a running worker before anything goes, and free
// what Release leaves (the sanitizer builds see any leak). The worker is
// destroyed while busy, and nothing of it runs on afterwards.
TEST(PipelineLifecycle, DestroyingAStartedPipelineStopsItsWorkerFirst) {
    std::vector<uint8_t> units;
    for (int i = 0; i < 2000; ++i) units.insert(units.end(), {0x00, 0x00, 0x00, 0x01, 0x40, 0x01, 0x21});
    const auto frames = test_link::FrameStream(units);
    for (int round = 0; round < 3; ++round) {
        std::atomic<int> unitsSeen{0};
        auto pipeline = std::make_unique<DecodeData>();
        pipeline->Present({/*window=*/false, /*lines=*/true, /*firstUnitLine=*/true});
        pipeline->onNal = [&unitsSeen](const uint8_t*, int32_t) { ++unitsSeen; };
        pipeline->Init();
        pipeline->ParseLink(frames.data(), static_cast<int32_t>(frames.size()));
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (unitsSeen == 0 && std::chrono::steady_clock::now() < deadline) {
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        ASSERT_GT(unitsSeen, 0) << "the worker never started";
        pipeline.reset();
        const int atDestruction = unitsSeen;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        EXPECT_EQ(unitsSeen, atDestruction) << "a worker outlived its pipeline";
    }
    DecodeData neverStarted;
    neverStarted.Release();
    EXPECT_EQ(neverStarted.worker, nullptr);
}

}  // namespace
