// Rebuilds NAL units from the link payloads at 4-byte start codes: the
// stream layer's splitter, run on this object's own fields.

#include <cstdio>

extern "C" {
#include <libavcodec/defs.h>
}

#include "core/demux/unit_splitter.h"
#include "pipeline/decode_data.h"

namespace {

// The decoder borrows units in place and may read this far past their end,
// so the assembled unit stays that far from the end of nalBuf.
constexpr int32_t kNalLimit = DecodeData::kNalBufSize - AV_INPUT_BUFFER_PADDING_SIZE;

}  // namespace

void DecodeData::SplitNal(const uint8_t* data, int32_t length) {
    // What the splitter's findings mean to the player.
    struct Hooks {
        DecodeData& pipeline;
        void FirstStartCode(uint8_t headerByte) { std::printf("aabbccdd:%d,\n", static_cast<int>(headerByte)); }
        bool WantsSliceHeaderByte() const { return pipeline.assembly.holding; }
        // A held first slice learns here whether this unit continues its picture.
        void SliceHeaderByte(const uint8_t* unit, int32_t length) {
            pipeline.SettleHeldSlice(nal_unit::ContinuesPicture(unit, length));
        }
        void Unit(const uint8_t* unit, int32_t length) { pipeline.HandleNal(unit, length); }
    } hooks{*this};
    unit_splitter::Split(*this, data, length, kNalLimit, hooks);
}
