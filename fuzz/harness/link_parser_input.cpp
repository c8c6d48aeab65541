// The link parser with the payload queue behind it.

#include <algorithm>

#include "core/format/link_frame.h"
#include "fuzz/harness/fuzz_inputs.h"
#include "fuzz/harness/invariant.h"
#include "pipeline/decode_data.h"

namespace {

void CheckTakenPayload(tagFRAME_LIST_ELEMENT* element) {
    FUZZ_INVARIANT(element->data != nullptr);
    FUZZ_INVARIANT(element->length >= 1 && element->length <= link_frame::kPayloadArea);
    DecodeData::FreeElement(element);
}

void DrainQueue(DecodeData& pipeline) {
    while (tagFRAME_LIST_ELEMENT* element = pipeline.DequeuePayload()) CheckTakenPayload(element);
}

}  // namespace

int RunLinkParserInput(const uint8_t* data, size_t size) {
    if (size < 1) return 0;
    const size_t piece = 1 + (data[0] & 0x7F) * 8;
    const bool workerKeepsUp = (data[0] & 0x80) == 0;
    data += 1;
    size -= 1;

    DecodeData pipeline;
    // Only the link buffer: the parser and the queue use nothing else, and
    // the 16 MB of the other two would cost more than the input itself.
    pipeline.linkBuf = new uint8_t[DecodeData::kLinkBufSize]();
    for (size_t pos = 0; pos < size; pos += piece) {
        const size_t n = std::min(piece, size - pos);
        pipeline.ParseLink(data + pos, static_cast<int32_t>(n));
        FUZZ_INVARIANT(pipeline.linkLen >= 0 && pipeline.linkLen < DecodeData::kLinkBufSize);
        FUZZ_INVARIANT(pipeline.QueuedPayloads() <= DecodeData::kQueueLimit);
        FUZZ_INVARIANT(pipeline.invalidFrameCount <= pipeline.linkFrameCount);
        if (workerKeepsUp) DrainQueue(pipeline);
    }
    DrainQueue(pipeline);
    return 0;
}
