// Rebuilds NAL units from the link payloads at 4-byte start codes: the
// stream layer's splitter, run on this object's own fields.

extern "C" {
#include <libavcodec/defs.h>
}

#include "core/session/payload_steps.h"
#include "pipeline/decode_data.h"

namespace {

// The decoder borrows units in place and may read this far past their end,
// so the assembled unit stays that far from the end of nalBuf.
constexpr int32_t kNalLimit = DecodeData::kNalBufSize - AV_INPUT_BUFFER_PADDING_SIZE;

}  // namespace

void DecodeData::SplitNal(const uint8_t* data, int32_t length) { payload_steps::Split(*this, data, length, kNalLimit); }
