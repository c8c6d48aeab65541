// The bounded payload queue between the replay and the worker.

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "core/format/byte_order.h"
#include "tests/support/pipeline_harness.h"

namespace {

using test_pipeline::Bytes;

// A payload of `length` bytes (at least 4) that starts with its number.
Bytes Numbered(uint32_t number, size_t length = 8) {
    Bytes payload(length, static_cast<uint8_t>(number));
    le::WriteU32(payload.data(), number);
    return payload;
}

void Enqueue(DecodeData& queue, const Bytes& payload) {
    queue.EnqueuePayload(payload.data(), static_cast<int32_t>(payload.size()));
}

TEST(PayloadQueue, HandsOutCopiesInArrivalOrder) {
    DecodeData queue;
    Bytes buffer = Numbered(1, 480);
    Enqueue(queue, buffer);
    buffer = Bytes{0x02};  // the caller reuses its buffer at once
    Enqueue(queue, buffer);
    buffer = Numbered(3, 17);
    Enqueue(queue, buffer);
    queue.EnqueuePayload(buffer.data(), 0);
    queue.EnqueuePayload(buffer.data(), -1);

    const auto out = test_pipeline::TakeQueued(queue);
    ASSERT_EQ(out.size(), 3u);
    EXPECT_EQ(out[0], Numbered(1, 480));
    EXPECT_EQ(out[1], Bytes{0x02});
    EXPECT_EQ(out[2], Numbered(3, 17));
    EXPECT_EQ(queue.DequeuePayload(), nullptr);
}

// Up to 1024 payloads wait; the 1025th finds the queue full, and the whole
// backlog goes so that it is the only one left.
TEST(PayloadQueue, OverflowDiscardsTheWholeBacklogOnlyPast1024) {
    DecodeData queue;
    for (uint32_t i = 0; i < 1023; ++i) Enqueue(queue, Numbered(i));
    Enqueue(queue, Numbered(1023));
    ASSERT_EQ(queue.QueuedPayloads(), 1024u);

    Enqueue(queue, Numbered(1024));
    const auto out = test_pipeline::TakeQueued(queue);
    ASSERT_EQ(out.size(), 1u);
    EXPECT_EQ(out[0], Numbered(1024));
}

// The producer keeps below the bound, as the paced replay does against a
// worker that keeps up; then nothing may be lost, duplicated or reordered.
TEST(PayloadQueue, ProducerAndConsumerThreadsLoseAndDuplicateNothingBelowTheBound) {
    constexpr uint32_t kPayloads = 50000;
    constexpr uint32_t kMaxAhead = 1000;
    DecodeData queue;
    std::atomic<uint32_t> consumed{0};
    std::vector<uint32_t> received;
    received.reserve(kPayloads);

    std::thread consumer([&] {
        while (received.size() < kPayloads) {
            tagFRAME_LIST_ELEMENT* element = queue.DequeuePayload();
            if (element == nullptr) {
                std::this_thread::yield();
                continue;
            }
            received.push_back(le::ReadU32(element->data));
            DecodeData::FreeElement(element);
            consumed.store(static_cast<uint32_t>(received.size()));
        }
    });
    for (uint32_t i = 0; i < kPayloads; ++i) {
        while (i - consumed.load() >= kMaxAhead) std::this_thread::yield();
        Enqueue(queue, Numbered(i, 4 + i % 477));
    }
    consumer.join();

    ASSERT_EQ(received.size(), kPayloads);
    for (uint32_t i = 0; i < kPayloads; ++i) ASSERT_EQ(received[i], i);
    EXPECT_EQ(queue.DequeuePayload(), nullptr);
}

}  // namespace
