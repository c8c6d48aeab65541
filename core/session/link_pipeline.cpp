#include "core/session/link_pipeline.h"

#include <chrono>

namespace {
// Nothing signals the worker; an empty queue is polled at this interval.
constexpr auto kEmptyQueuePoll = std::chrono::milliseconds(5);
// A producer held back by a full queue looks again at this interval.
constexpr auto kFullQueuePoll = std::chrono::milliseconds(1);
}  // namespace

LinkPipeline::LinkPipeline(PayloadDecoderOptions options, int64_t reorderMs, bool waitForRoom)
    : scan_(reorderMs, [this](const link_frames::Frame& frame, uint64_t) { QueuePayload(frame); }),
      waitForRoom_(waitForRoom),
      decoder_(std::make_unique<PayloadDecoder>(std::move(options))) {
    running_ = true;
    worker_ = std::thread(&LinkPipeline::Work, this);
}

LinkPipeline::~LinkPipeline() {
    Stop();
    decoder_.reset();
    payload_queue::DiscardAll(queue_);
}

void LinkPipeline::Parse(const uint8_t* data, int32_t length, int64_t nowMs) { scan_.Feed(data, length, nowMs); }

void LinkPipeline::Tick(int64_t nowMs) { scan_.Tick(nowMs); }

void LinkPipeline::Flush() { scan_.Flush(); }

void LinkPipeline::QueuePayload(const link_frames::Frame& frame) {
    if (!frame.valid) return;
    // A stopped worker takes nothing more: the discard rule then applies.
    while (waitForRoom_ && running_ && payload_queue::Size(queue_) >= kQueueLimit) {
        std::this_thread::sleep_for(kFullQueuePoll);
    }
    payload_queue::Enqueue(queue_, frame.Payload(), static_cast<int32_t>(frame.payloadLength), kQueueLimit);
}

size_t LinkPipeline::QueuedPayloads() { return payload_queue::Size(queue_); }

uint64_t LinkPipeline::DiscardedPayloads() {
    std::lock_guard<std::mutex> lock(queue_.queueLock);
    return queue_.discardedPayloadCount;
}

void LinkPipeline::Stop(const std::function<void()>& serviceEvents) {
    running_ = false;
    if (!worker_.joinable()) return;
    if (serviceEvents) {
        while (!workerDone_) serviceEvents();
    }
    worker_.join();
}

void LinkPipeline::Work() {
    while (running_) {
        tagFRAME_LIST_ELEMENT* element = payload_queue::Dequeue(queue_);
        if (element == nullptr) {
            std::this_thread::sleep_for(kEmptyQueuePoll);
            continue;
        }
        decoder_->Split(element->data, element->length);
        payload_queue::FreeElement(element);
    }
    workerDone_ = true;
}
