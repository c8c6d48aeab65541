// The worker thread's body: drains the payload queue into the splitter.

#include <chrono>
#include <thread>

#include "pipeline/decode_data.h"

namespace {
// Nothing signals the worker; an empty queue is polled at this interval.
constexpr auto kEmptyQueuePoll = std::chrono::milliseconds(5);
}  // namespace

void DecodeData::DecodeLoop() {
    while (running) {
        if (!ProcessNextPayload()) std::this_thread::sleep_for(kEmptyQueuePoll);
    }
    workerDone = true;
}

bool DecodeData::ProcessNextPayload() {
    tagFRAME_LIST_ELEMENT* element = DequeuePayload();
    if (element == nullptr) return false;
    SplitNal(element->data, element->length);
    FreeElement(element);
    return true;
}
