// The start-code splitter with telemetry capture, without a decoder.

#include <algorithm>
#include <cstring>
#include <vector>

#include "fuzz/harness/fuzz_inputs.h"
#include "fuzz/harness/invariant.h"
#include "fuzz/harness/reused_buffers.h"
#include "pipeline/decode/nal_unit.h"
#include "pipeline/decode_data.h"
#include "pipeline/ingest/link_frame.h"

namespace {

constexpr uint8_t kRunMarker[] = {0xFE, 0xED};
constexpr size_t kRunUnit = 32768;
// Enough to outgrow the assembly buffer once and go on after it; more would
// only make the input slow, not reach further.
constexpr size_t kMaxExpanded = DecodeData::kNalBufSize + (1u << 20);

// Expands the FE ED n v runs; everything else is copied as it stands.
std::vector<uint8_t> Expand(const uint8_t* data, size_t size) {
    std::vector<uint8_t> out;
    out.reserve(size);
    for (size_t i = 0; i < size; ++i) {
        const bool room = out.size() < kMaxExpanded;
        if (room && i + 3 < size && data[i] == kRunMarker[0] && data[i + 1] == kRunMarker[1]) {
            out.insert(out.end(), (data[i + 2] + 1u) * kRunUnit, data[i + 3]);
            i += 3;
        } else {
            out.push_back(data[i]);
        }
    }
    return out;
}

void CheckUnit(const DecodeData& pipeline, const uint8_t* unit, int32_t length) {
    static const uint8_t kStartCode[] = {0x00, 0x00, 0x00, 0x01};
    FUZZ_INVARIANT(length >= nal_unit::kPrefixSize);
    FUZZ_INVARIANT(unit == pipeline.nalBuf);
    FUZZ_INVARIANT(length <= DecodeData::kNalBufSize);
    FUZZ_INVARIANT(std::memcmp(unit, kStartCode, sizeof kStartCode) == 0);
}

}  // namespace

int RunNalSplitterInput(const uint8_t* data, size_t size) {
    const std::vector<uint8_t> stream = Expand(data, size);
    DecodeData pipeline;
    LendBuffers(pipeline);
    pipeline.onNal = [&pipeline](const uint8_t* unit, int32_t length) {
        CheckUnit(pipeline, unit, length);
    };
    for (size_t pos = 0; pos < stream.size(); pos += link_frame::kPayloadArea) {
        const size_t n = std::min(stream.size() - pos, static_cast<size_t>(link_frame::kPayloadArea));
        pipeline.SplitNal(stream.data() + pos, static_cast<int32_t>(n));
        FUZZ_INVARIANT(pipeline.nalLen >= 0 && pipeline.nalLen <= DecodeData::kNalBufSize);
    }
    ReclaimBuffers(pipeline);
    return 0;
}
