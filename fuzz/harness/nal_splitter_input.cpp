// The start-code splitter with telemetry capture, without a decoder.

#include <algorithm>
#include <cstring>
#include <vector>

extern "C" {
#include <libavcodec/defs.h>
}

#include "core/format/link_frame.h"
#include "core/format/nal_unit.h"
#include "fuzz/harness/fuzz_inputs.h"
#include "fuzz/harness/invariant.h"
#include "fuzz/harness/reused_buffers.h"
#include "pipeline/decode_data.h"

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
    FUZZ_INVARIANT(length >= nal_unit::kPrefixSize);
    FUZZ_INVARIANT(unit == pipeline.nalBuf);
    FUZZ_INVARIANT(length + AV_INPUT_BUFFER_PADDING_SIZE <= DecodeData::kNalBufSize);
    const size_t size = static_cast<size_t>(length);
    FUZZ_INVARIANT(nal_unit::StartCodeAt(unit, size, 0));
    // Cut at every start code that leaves its unit at least a start code and
    // a header byte: none may be left inside.
    for (size_t pos = nal_unit::kPrefixSize; pos + nal_unit::kStartCodeSize < size; ++pos) {
        FUZZ_INVARIANT(!nal_unit::StartCodeAt(unit, size, pos));
    }
    // The decoder reads the unit in place and may read this far past it:
    // behind the next unit's start code and header byte it must find zeros,
    // whatever longer unit the buffer held before.
    for (int i = nal_unit::kPrefixSize; i < AV_INPUT_BUFFER_PADDING_SIZE; ++i) {
        FUZZ_INVARIANT(unit[length + i] == 0);
    }
}

// From the first start code on, no byte is dropped or added unless the buffer
// overflows: the units handed over and what is still in assembly (before the
// first start code, the part of one matched so far) are, joined, exactly the
// end of the stream.
void CheckNothingLost(const uint8_t* stream, size_t size, const std::vector<uint8_t>& handedOver,
                      const DecodeData& pipeline) {
    const size_t inAssembly = static_cast<size_t>(pipeline.nalLen);
    const size_t kept = handedOver.size() + inAssembly;
    FUZZ_INVARIANT(kept <= size);
    const uint8_t* tail = stream + (size - kept);
    FUZZ_INVARIANT(std::equal(handedOver.begin(), handedOver.end(), tail));
    FUZZ_INVARIANT(std::memcmp(pipeline.nalBuf, tail + handedOver.size(), inAssembly) == 0);
}

// Link payloads of at most 480 bytes, as the worker hands them over.
void SplitAsPayloads(const uint8_t* stream, size_t size, bool mayOverflow) {
    DecodeData pipeline;
    LendBuffers(pipeline);
    std::vector<uint8_t> handedOver;
    pipeline.onNal = [&](const uint8_t* unit, int32_t length) {
        CheckUnit(pipeline, unit, length);
        if (!mayOverflow) handedOver.insert(handedOver.end(), unit, unit + length);
    };
    for (size_t pos = 0; pos < size; pos += link_frame::kPayloadArea) {
        const size_t n = std::min(size - pos, static_cast<size_t>(link_frame::kPayloadArea));
        pipeline.SplitNal(stream + pos, static_cast<int32_t>(n));
        FUZZ_INVARIANT(pipeline.nalLen >= 0 && pipeline.nalLen <= DecodeData::kNalBufSize);
    }
    if (!mayOverflow) CheckNothingLost(stream, size, handedOver, pipeline);
    ReclaimBuffers(pipeline);
}

}  // namespace

int RunNalSplitterInput(const uint8_t* data, size_t size) {
    // Far below the assembly buffer's size, so nothing can overflow.
    FUZZ_INVARIANT(size < static_cast<size_t>(DecodeData::kNalBufSize) / 2);
    SplitAsPayloads(data, size, false);
    return 0;
}

int RunNalOverflowInput(const uint8_t* data, size_t size) {
    const std::vector<uint8_t> stream = Expand(data, size);
    SplitAsPayloads(stream.data(), stream.size(), true);
    return 0;
}
