#pragma once
// The bounded queue of link payloads between the thread that parses the link
// and the one that splits and decodes. It works on its owner's fields:
// queueLock, payloadQueue (a std::list of elements) and
// discardedPayloadCount.

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <list>
#include <mutex>

// One queued link payload, owned by the queue until it is taken.
struct tagFRAME_LIST_ELEMENT {
    int32_t reserved;
    uint8_t* data;
    int32_t length;
};

namespace payload_queue {

inline void FreeElement(tagFRAME_LIST_ELEMENT* element) {
    delete[] element->data;
    delete element;
}

// Caller holds queueLock, or is the only thread left.
template <typename Q>
void DiscardAll(Q& q) {
    for (tagFRAME_LIST_ELEMENT* element : q.payloadQueue) FreeElement(element);
    q.payloadQueue.clear();
}

// A new element holding a copy of `data`, made before any lock is taken.
inline tagFRAME_LIST_ELEMENT* MakeElement(const uint8_t* data, int32_t length) {
    auto* element = new tagFRAME_LIST_ELEMENT{0, new uint8_t[length], length};
    std::memcpy(element->data, data, static_cast<size_t>(length));
    return element;
}

// Caller holds queueLock. A consumer that has fallen `limit` payloads
// behind will not catch up: the whole backlog goes, and decoding resumes at
// the next start code. Returns how many payloads went.
template <typename Q>
size_t PushLocked(Q& q, tagFRAME_LIST_ELEMENT* element, size_t limit) {
    size_t discarded = 0;
    if (q.payloadQueue.size() >= limit) {
        discarded = q.payloadQueue.size();
        q.discardedPayloadCount += discarded;
        DiscardAll(q);
    }
    q.payloadQueue.push_back(element);
    return discarded;
}

// Caller holds queueLock: the oldest payload, now the caller's to free;
// nullptr when none waits.
template <typename Q>
tagFRAME_LIST_ELEMENT* PopLocked(Q& q) {
    if (q.payloadQueue.empty()) return nullptr;
    tagFRAME_LIST_ELEMENT* element = q.payloadQueue.front();
    q.payloadQueue.pop_front();
    return element;
}

// Queues a copy of `data` under the discard rule (PushLocked).
template <typename Q>
void Enqueue(Q& q, const uint8_t* data, int32_t length, size_t limit) {
    if (length <= 0) return;
    // Copy before locking: the lock covers list operations only.
    tagFRAME_LIST_ELEMENT* element = MakeElement(data, length);
    std::lock_guard<std::mutex> lock(q.queueLock);
    PushLocked(q, element, limit);
}

// The oldest payload, now the caller's to free; nullptr when none waits.
template <typename Q>
tagFRAME_LIST_ELEMENT* Dequeue(Q& q) {
    std::lock_guard<std::mutex> lock(q.queueLock);
    return PopLocked(q);
}

// Payloads waiting; any thread may ask.
template <typename Q>
size_t Size(Q& q) {
    std::lock_guard<std::mutex> lock(q.queueLock);
    return q.payloadQueue.size();
}

}  // namespace payload_queue
