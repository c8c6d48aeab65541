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
    // The scan keeps the assembly state in locals: a byte stored through
    // linkBuf may alias any field, so fields would be reloaded and stored
    // again for every byte, which costs the parser two thirds of its speed.
    uint8_t* const buf = linkBuf;
    int32_t len = linkLen;
    int32_t state = linkState;
    for (int32_t i = 0; i < length; ++i) {
        const uint8_t b = data[i];
        if (len >= kAssemblyBufferSize) len = 0;
        buf[len++] = b;

        // Collecting comes first: it takes 510 of every 512 bytes.
        if (state == kCollecting) {
            if (len < kFrameSize) continue;
            payloadLen = le::ReadU16(buf + kPayloadLenOffset);
            linkWord = le::ReadU32(buf + kWordOffset);
            const int32_t seq = le::ReadU16(buf + kSequenceOffset);
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
                EnqueuePayload(buf + kPayloadOffset, static_cast<int32_t>(payloadLen));
            } else {
                ++invalidFrameCount;
            }
            len = 0;
            state = kHunting;
        } else if (state == kHunting && b == kSync1) {
            state = kSync1Seen;
        } else if (state == kSync1Seen && b == kSync2) {
            state = kCollecting;
        } else {
            // Lost sync (a second 0xEB included): drop what is held, hunt on.
            len = 0;
            state = kHunting;
        }
    }
    linkLen = len;
    linkState = state;
}
