#pragma once
// Telemetry units: NAL units in SEI message syntax that carry the record.
//   00 00 00 01 06 | payload type | size bytes (0xFF-continued) | payload
// The payload holds emulation-prevention bytes: a 0x03 that follows two 0x00
// bytes is not part of it.

#include <cstddef>
#include <cstdint>

#include "core/format/start_code.h"

namespace telemetry_unit {

constexpr uint8_t kMarker = 0x06;       // header byte after the start code
constexpr int kTypeOffset = 5;          // payload type, not examined
constexpr int kSizeOffset = 6;          // first payload-size byte
constexpr uint8_t kSizeContinue = 0xFF;
// Units that declare this much payload or less are ordinary SEI and decoded.
constexpr int kMaxUncapturedSize = 128;

// A unit, start code included, whose header byte marks it as telemetry:
// the splitter's, the tools' and the report's one test of it. Whether its
// record is captured depends on the size it declares as well.
inline bool IsTelemetryUnit(const uint8_t* unit, size_t length) {
    return length > static_cast<size_t>(start_code::kSize) && start_code::At(unit) &&
           unit[start_code::kSize] == kMarker;
}

}  // namespace telemetry_unit
