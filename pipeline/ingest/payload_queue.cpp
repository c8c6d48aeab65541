// Bounded payload queue between the replay (producer) and the worker.

#include "core/demux/payload_queue.h"
#include "pipeline/decode_data.h"

void DecodeData::EnqueuePayload(const uint8_t* data, int32_t length) {
    payload_queue::Enqueue(*this, data, length, kQueueLimit);
}

tagFRAME_LIST_ELEMENT* DecodeData::DequeuePayload() { return payload_queue::Dequeue(*this); }

void DecodeData::FreeElement(tagFRAME_LIST_ELEMENT* element) { payload_queue::FreeElement(element); }

// Caller holds queueLock, or is the only thread left.
void DecodeData::DiscardQueue() { payload_queue::DiscardAll(*this); }
