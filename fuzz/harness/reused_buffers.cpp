#include "fuzz/harness/reused_buffers.h"

#include <cstring>

namespace {
uint8_t* SharedNalBuffer() {
    static uint8_t* buffer = new uint8_t[DecodeData::kNalBufSize]();
    return buffer;
}
uint8_t* SharedCropBuffer() {
    static uint8_t* buffer = new uint8_t[DecodeData::kCropBufSize]();
    return buffer;
}
}  // namespace

void LendBuffers(DecodeData& pipeline) {
    pipeline.nalBuf = SharedNalBuffer();
    pipeline.cropBuf = SharedCropBuffer();
}

// Every cut clears the bytes behind the carried prefix, and an overflow
// clears what it drops: only the unit in assembly is left to clear.
void ReclaimBuffers(DecodeData& pipeline) {
    std::memset(pipeline.nalBuf, 0, static_cast<size_t>(pipeline.nalLen));
    pipeline.nalBuf = nullptr;
    pipeline.cropBuf = nullptr;
}
