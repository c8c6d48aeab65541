// Link frame synchroniser and header reader.

#include "pipeline/byte_order.h"
#include "pipeline/decode_data.h"
#include "pipeline/ingest/link_frame.h"

namespace {
constexpr int32_t kHunting = 0;
constexpr int32_t kSync1Seen = 1001;
constexpr int32_t kCollecting = 1002;
}  // namespace

void DecodeData::ParseLink(const uint8_t* data, int32_t length) {
    using namespace link_frame;
    for (int32_t i = 0; i < length; ++i) {
        const uint8_t b = data[i];
        if (linkLen >= kAssemblyBufferSize) linkLen = 0;
        linkBuf[linkLen++] = b;

        if (linkState == kHunting && b == kSync1) {
            linkState = kSync1Seen;
        } else if (linkState == kSync1Seen && b == kSync2) {
            linkState = kCollecting;
        } else if (linkState == kCollecting) {
            if (linkLen < kFrameSize) continue;
            payloadLen = le::ReadU16(linkBuf + kPayloadLenOffset);
            linkWord = le::ReadU32(linkBuf + kWordOffset);
            const int32_t seq = le::ReadU16(linkBuf + kSequenceOffset);
            // A frame numbered 0 restarts the count, so a 16-bit counter
            // wrapping through 0 is no break; any other number must follow on.
            if (seq == 0) {
                lastSeq = 0;
            } else if (++lastSeq != seq) {
                ++lostCount;
                lastSeq = seq;
            }
            ++linkFrameCount;
            if (payloadLen >= 1 && payloadLen <= static_cast<uint32_t>(kPayloadArea)) {
                EnqueuePayload(linkBuf + kPayloadOffset, static_cast<int32_t>(payloadLen));
            } else {
                ++invalidFrameCount;
            }
            linkLen = 0;
            linkState = kHunting;
        } else {
            // Lost sync (a second 0xEB included): drop what is held, hunt on.
            linkLen = 0;
            linkState = kHunting;
        }
    }
}
