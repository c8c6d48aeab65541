// Bounded payload queue between the replay (producer) and the worker.

#include <cstring>

#include "pipeline/decode_data.h"

void DecodeData::EnqueuePayload(const uint8_t* data, int32_t length) {
    if (length <= 0) return;
    // Copy before locking: the lock covers list operations only.
    auto* element = new tagFRAME_LIST_ELEMENT{0, new uint8_t[length], length};
    std::memcpy(element->data, data, static_cast<size_t>(length));

    std::lock_guard<std::mutex> lock(queueLock);
    // A worker that has fallen this far behind will not catch up: the whole
    // backlog goes, and decoding resumes at the next start code.
    if (payloadQueue.size() >= kQueueLimit) {
        discardedPayloadCount += payloadQueue.size();
        DiscardQueue();
    }
    payloadQueue.push_back(element);
}

tagFRAME_LIST_ELEMENT* DecodeData::DequeuePayload() {
    std::lock_guard<std::mutex> lock(queueLock);
    if (payloadQueue.empty()) return nullptr;
    tagFRAME_LIST_ELEMENT* element = payloadQueue.front();
    payloadQueue.pop_front();
    return element;
}

void DecodeData::FreeElement(tagFRAME_LIST_ELEMENT* element) {
    delete[] element->data;
    delete element;
}

// Caller holds queueLock, or is the only thread left.
void DecodeData::DiscardQueue() {
    for (tagFRAME_LIST_ELEMENT* element : payloadQueue) FreeElement(element);
    payloadQueue.clear();
}
