// Link frame synchroniser and header reader: the link layer's scan, run on
// this object's own fields, hands each valid payload to the queue.

#include "core/demux/link_frames.h"
#include "pipeline/decode_data.h"

void DecodeData::ParseLink(const uint8_t* data, int32_t length) {
    link_frames::Parse(*this, data, length, [this](const link_frames::Frame& frame) {
        if (frame.valid) EnqueuePayload(frame.Payload(), static_cast<int32_t>(frame.payloadLength));
    });
}
