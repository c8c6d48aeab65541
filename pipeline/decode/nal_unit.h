#pragma once
// Annex-B framing as the sending side writes it: every unit starts with the
// 4-byte start code 00 00 00 01 followed by its first header byte.

#include <cstdint>

namespace nal_unit {

constexpr int kStartCodeSize = 4;
constexpr int kPrefixSize = kStartCodeSize + 1;  // start code and header byte

// H.265 unit type from the first header byte.
inline int TypeOf(uint8_t headerByte) { return (headerByte >> 1) & 0x3F; }

}  // namespace nal_unit
