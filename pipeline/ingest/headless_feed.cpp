// The one way the tools, benchmarks and tests drive the pipeline without the
// player's worker: payloads go through the same queue and splitter, but on
// the caller's thread and without the replay's pace.

#include <algorithm>

#include "pipeline/decode_data.h"

namespace {

// A piece of this many bytes completes at most half the queue's limit of
// link frames, so a caller that splits after every piece never meets the
// discard rule, which is there for a worker that has fallen behind.
constexpr size_t kLargestPiece =
    DecodeData::kQueueLimit / 2 * static_cast<size_t>(link_frame::kFrameSize);

}  // namespace

void DecodeData::Present(const Presentation& presentation) {
    windowEnabled = presentation.window;
    linePrinted = presentation.lines;
    firstUnitAnnounced = !presentation.firstUnitLine;
}

SplitTally DecodeData::FeedAndSplit(const uint8_t* data, size_t size) {
    SplitTally tally;
    for (size_t pos = 0; pos < size; pos += kLargestPiece) {
        const size_t take = std::min(kLargestPiece, size - pos);
        ParseLink(data + pos, static_cast<int32_t>(take));
        const SplitTally piece = SplitQueued();
        tally.payloads += piece.payloads;
        tally.bytes += piece.bytes;
    }
    return tally;
}

SplitTally DecodeData::SplitQueued() {
    SplitTally tally;
    while (tagFRAME_LIST_ELEMENT* element = DequeuePayload()) {
        ++tally.payloads;
        tally.bytes += static_cast<uint64_t>(element->length);
        SplitNal(element->data, element->length);
        FreeElement(element);
    }
    return tally;
}

size_t DecodeData::QueuedPayloads() { return payload_queue::Size(*this); }
