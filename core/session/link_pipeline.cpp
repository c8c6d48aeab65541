#include "core/session/link_pipeline.h"

#include <chrono>

namespace {
// A producer held back by a full queue looks again at this interval.
constexpr auto kFullQueuePoll = std::chrono::milliseconds(1);
}  // namespace

LinkPipeline::LinkPipeline(PayloadDecoderOptions options, int64_t reorderMs, bool waitForRoom,
                           std::function<void()> everyInterval)
    : everyInterval_(std::move(everyInterval)),
      scan_(reorderMs, [this](const link_frames::Frame& frame, uint64_t) { QueuePayload(frame); }),
      waitForRoom_(waitForRoom),
      decoder_(std::make_unique<PayloadDecoder>(std::move(options))) {
    running_ = true;
    worker_ = std::thread(&LinkPipeline::Work, this);
}

LinkPipeline::~LinkPipeline() {
    Stop();
    decoder_.reset();
    queue_.afterLoss.clear();
    payload_queue::DiscardAll(queue_);
}

void LinkPipeline::Parse(const uint8_t* data, int32_t length, int64_t nowMs) { scan_.Feed(data, length, nowMs); }

void LinkPipeline::Tick(int64_t nowMs) { scan_.Tick(nowMs); }

void LinkPipeline::Flush() { scan_.Flush(); }

void LinkPipeline::QueuePayload(const link_frames::Frame& frame) {
    if (frame.sequenceBreak || !frame.valid) lossPending_ = true;
    if (!frame.valid) return;
    // A stopped worker takes nothing more: the discard rule then applies.
    while (waitForRoom_ && running_ && payload_queue::Size(queue_) >= kQueueLimit) {
        std::this_thread::sleep_for(kFullQueuePoll);
    }
    tagFRAME_LIST_ELEMENT* element =
        payload_queue::MakeElement(frame.Payload(), static_cast<int32_t>(frame.payloadLength));
    {
        std::lock_guard<std::mutex> lock(queue_.queueLock);
        if (payload_queue::PushLocked(queue_, element, kQueueLimit) > 0) {
            queue_.afterLoss.clear();
            lossPending_ = true;
        }
        if (lossPending_) queue_.afterLoss.insert(element);
    }
    lossPending_ = false;
    // Taking the worker's lock first means it is either still to look at
    // the queue or already waiting: the notice cannot fall between.
    { std::lock_guard<std::mutex> lock(wakeLock_); }
    wake_.notify_one();
}

size_t LinkPipeline::QueuedPayloads() { return payload_queue::Size(queue_); }

uint64_t LinkPipeline::DiscardedPayloads() {
    std::lock_guard<std::mutex> lock(queue_.queueLock);
    return queue_.discardedPayloadCount;
}

void LinkPipeline::Stop(const std::function<void()>& serviceEvents) {
    {
        std::lock_guard<std::mutex> lock(wakeLock_);
        running_ = false;
    }
    wake_.notify_one();
    if (!worker_.joinable()) return;
    if (serviceEvents) {
        while (!workerDone_) serviceEvents();
    }
    worker_.join();
}

tagFRAME_LIST_ELEMENT* LinkPipeline::Take(bool& lossBefore) {
    std::lock_guard<std::mutex> lock(queue_.queueLock);
    tagFRAME_LIST_ELEMENT* element = payload_queue::PopLocked(queue_);
    lossBefore = element != nullptr && queue_.afterLoss.erase(element) > 0;
    return element;
}

void LinkPipeline::WaitForPayload() {
    std::unique_lock<std::mutex> lock(wakeLock_);
    wake_.wait_for(lock, kInterval, [this] { return !running_ || payload_queue::Size(queue_) > 0; });
}

void LinkPipeline::Work() {
    auto lastInterval = std::chrono::steady_clock::now();
    while (running_) {
        bool lossBefore = false;
        tagFRAME_LIST_ELEMENT* element = Take(lossBefore);
        if (element == nullptr) {
            WaitForPayload();
        } else {
            if (lossBefore) decoder_->BytesLost();
            decoder_->Split(element->data, element->length);
            payload_queue::FreeElement(element);
        }
        const auto now = std::chrono::steady_clock::now();
        if (everyInterval_ && now - lastInterval >= kInterval) {
            lastInterval = now;
            everyInterval_();
        }
    }
    workerDone_ = true;
}
