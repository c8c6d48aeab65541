#pragma once
// Link bytes in on one thread, pictures out on a worker: the link scan hands
// each payload to the bounded queue, and the worker takes them off and runs
// them through a PayloadDecoder. For programs that receive a link as it
// comes, where the decoding must not hold up the reading.

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <list>
#include <memory>
#include <mutex>
#include <thread>
#include <unordered_set>

#include "core/demux/link_frames.h"
#include "core/demux/ordered_link_scan.h"
#include "core/demux/payload_queue.h"
#include "core/format/buffer_limits.h"
#include "core/session/payload_decoder.h"

class LinkPipeline {
public:
    // Payloads the queue holds before its discard rule empties it.
    static constexpr size_t kQueueLimit = buffer_limits::kQueuedPayloads;
    static constexpr std::chrono::milliseconds kInterval{250};

    // Opens the decoder and starts the worker. The options' observers run on
    // the worker; a window is shown from the worker too. Link frames are put
    // back in sequence order first, a gap waiting up to `reorderMs` (0: off).
    // With `waitForRoom`, for a source that can be held back, Parse waits
    // while the queue is full instead of letting its discard rule drop the
    // backlog: frames put back in order go on in bursts. `everyInterval`,
    // when set, runs on the worker about every kInterval, payloads or
    // none: what is shown can age while nothing comes.
    explicit LinkPipeline(PayloadDecoderOptions options, int64_t reorderMs = 0, bool waitForRoom = false,
                          std::function<void()> everyInterval = {});
    // Stops the worker, if Stop has not.
    ~LinkPipeline();
    LinkPipeline(const LinkPipeline&) = delete;
    LinkPipeline& operator=(const LinkPipeline&) = delete;

    // Scans link bytes that arrived at `nowMs` (any steady clock) and queues
    // each valid payload once its frame is in order; one thread only.
    void Parse(const uint8_t* data, int32_t length, int64_t nowMs = 0);
    // Time passed without bytes: gaps that waited their window out are
    // given up, and the frames behind them go on. Same thread as Parse.
    void Tick(int64_t nowMs);
    // The input ended: every frame held goes on. Same thread as Parse.
    void Flush();
    // Payloads waiting for the worker; any thread may ask.
    size_t QueuedPayloads();
    // The link's counts so far, for the parsing thread: frames completed,
    // dropped for an invalid length, sequence breaks, and payloads the
    // queue's discard rule threw away.
    const link_frames::State& LinkCounts() const { return scan_.Counts(); }
    const FrameOrderCounts& OrderCounts() const { return scan_.OrderCounts(); }
    uint64_t DiscardedPayloads();

    // Stops the worker once it has finished the payload in hand; what is
    // still queued is dropped. `serviceEvents` runs while the worker is
    // still busy, since a worker blocked in a window call waits for the
    // main thread's event loop.
    void Stop(const std::function<void()>& serviceEvents = {});

private:
    void Work();
    tagFRAME_LIST_ELEMENT* Take(bool& lossBefore);
    void WaitForPayload();
    void QueuePayload(const link_frames::Frame& frame);

    // The queue's fields, as payload_queue names them, and the payloads
    // that link bytes went missing in front of: a sequence break, a frame
    // of no use, or the backlog the discard rule threw away.
    struct Queue {
        std::mutex queueLock;
        std::list<tagFRAME_LIST_ELEMENT*> payloadQueue;
        uint64_t discardedPayloadCount = 0;
        std::unordered_set<const tagFRAME_LIST_ELEMENT*> afterLoss;
    };
    Queue queue_;
    bool lossPending_ = false;  // the parsing thread's

    // The worker sleeps here while the queue is empty.
    std::mutex wakeLock_;
    std::condition_variable wake_;
    std::function<void()> everyInterval_;

    OrderedLinkScan scan_;
    bool waitForRoom_;
    std::unique_ptr<PayloadDecoder> decoder_;
    std::atomic<bool> running_{false};
    std::atomic<bool> workerDone_{false};
    std::thread worker_;
};
