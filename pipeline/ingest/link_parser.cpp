// Link frame synchroniser and header reader.

#include "core/format/byte_order.h"
#include "core/format/link_frame.h"
#include "pipeline/decode_data.h"

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
    // A frame's body, 510 of its 512 bytes, is stored in a loop of its own
    // that looks only for the end of the frame and of the chunk.
    uint8_t* const buf = linkBuf;
    int32_t len = linkLen;
    int32_t state = linkState;
    for (int32_t i = 0; i < length; ++i) {
        if (state == kCollecting) {
            while (len < kFrameSize && i < length) buf[len++] = data[i++];
            if (len < kFrameSize) break;
            --i;  // the loop's step moves on to the byte after the frame
            payloadLen = le::ReadU16(buf + kPayloadLenOffset);
            linkWord = le::ReadU32(buf + kWordOffset);
            const int32_t seq = le::ReadU16(buf + kSequenceOffset);
            if (BreaksSequence(lastSeq, seq)) ++lostCount;
            lastSeq = seq;
            ++linkFrameCount;
            if (payloadLen >= 1 && payloadLen <= static_cast<uint32_t>(kPayloadArea)) {
                EnqueuePayload(buf + kPayloadOffset, static_cast<int32_t>(payloadLen));
            } else {
                ++invalidFrameCount;
            }
            len = 0;
            state = kHunting;
            continue;
        }
        const uint8_t b = data[i];
        if (len >= kAssemblyBufferSize) len = 0;
        buf[len++] = b;
        if (state == kHunting && b == kSync1) {
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
