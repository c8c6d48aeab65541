// Units into the real HEVC decoder, the conversion and the telemetry line.

#include <algorithm>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/log.h>
#include <libavutil/opt.h>
}

#include "core/format/link_frame.h"
#include "fuzz/harness/fuzz_inputs.h"
#include "fuzz/harness/invariant.h"
#include "fuzz/harness/reused_buffers.h"
#include "pipeline/decode_data.h"

namespace {

// The work per input is bounded as FFmpeg's own decoder fuzzer bounds it:
// no picture above the downlink's size, and no more pictures' worth of pixels
// than a few such pictures, so that a slow input is not taken for a hang.
constexpr int64_t kMaxPixelsPerPicture = 1920 * 1088;
constexpr int64_t kPixelBudget = 4 * kMaxPixelsPerPicture;

// An access unit delimiter's start code cuts off the stream's last unit, as
// the next unit would on the link.
constexpr uint8_t kClosingUnit[] = {0x00, 0x00, 0x00, 0x01, 0x46, 0x01, 0x50};

void OpenBoundedDecoder(DecodeData& pipeline) {
    pipeline.OpenDecoder();
    FUZZ_INVARIANT(pipeline.codecCtx != nullptr);
    // Read at each picture allocation, so setting it after the open counts.
    av_opt_set_int(pipeline.codecCtx, "max_pixels", kMaxPixelsPerPicture, 0);
}

}  // namespace

int RunUnitPathInput(const uint8_t* data, size_t size) {
    av_log_set_level(AV_LOG_QUIET);
    DecodeData pipeline;
    LendBuffers(pipeline);
    OpenBoundedDecoder(pipeline);
    // The line writer is part of the path under test; only the window is off.
    pipeline.Present({/*window=*/false, /*lines=*/true, /*firstUnitLine=*/true});

    // Inputs of odd length ask for small copies as well, as the report does.
    const bool small = size % 2 == 1;
    if (small) pipeline.smallPictureBox = {152, 86};
    int64_t pixels = 0;
    pipeline.onPicture = [&](const ShownPicture& picture) {
        const int32_t width = picture.width;
        const int32_t height = picture.height;
        if (small && picture.smallRgb != nullptr) {
            FUZZ_INVARIANT(picture.rgb == nullptr);
            FUZZ_INVARIANT(picture.smallWidth > 0 && picture.smallWidth <= 152);
            FUZZ_INVARIANT(picture.smallHeight > 0 && picture.smallHeight <= 86);
        } else {
            FUZZ_INVARIANT(picture.rgb != nullptr);
        }
        FUZZ_INVARIANT(width > 0 && height > 0);
        FUZZ_INVARIANT(static_cast<int64_t>(width) * height <= kMaxPixelsPerPicture);
        pixels += static_cast<int64_t>(width) * height;
    };
    for (size_t pos = 0; pos < size && pixels < kPixelBudget; pos += link_frame::kPayloadArea) {
        const size_t n = std::min(size - pos, static_cast<size_t>(link_frame::kPayloadArea));
        pipeline.SplitNal(data + pos, static_cast<int32_t>(n));
    }
    pipeline.SplitNal(kClosingUnit, sizeof kClosingUnit);
    ReclaimBuffers(pipeline);
    return 0;
}
