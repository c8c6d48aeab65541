#pragma once
// Annex-B framing as the sending side writes it: every unit starts with the
// 4-byte start code 00 00 00 01 followed by its first header byte.

#include <cstdint>

#include "pipeline/decode/telemetry_unit.h"

namespace nal_unit {

constexpr int kStartCodeSize = 4;
constexpr int kPrefixSize = kStartCodeSize + 1;  // start code and header byte
// A slice segment header starts after the two header bytes; its first bit is
// first_slice_segment_in_pic_flag.
constexpr int kSliceHeaderOffset = kStartCodeSize + 2;
constexpr uint8_t kFirstSliceFlag = 0x80;

// H.265 unit types the pipeline acts on.
constexpr int kEndOfSequence = 36;
constexpr int kEndOfBitstream = 37;
constexpr int kFillerData = 38;
constexpr int kSuffixSei = 40;

// H.265 unit type from the first header byte.
inline int TypeOf(uint8_t headerByte) { return (headerByte >> 1) & 0x3F; }

// Coded slice segments, the types FFmpeg's parser and decoder build pictures
// from. The sending side's telemetry units carry a header byte whose type
// bits read as a slice type; they are never slices.
inline bool IsSliceHeaderByte(uint8_t headerByte) {
    const int type = TypeOf(headerByte);
    return headerByte != telemetry_unit::kMarker && (type <= 9 || (type >= 16 && type <= 21));
}

// `unit` holds at least the start code and the header byte; a slice needs the
// first byte of its slice header too.
inline bool IsSlice(const uint8_t* unit, int32_t length) {
    return length > kSliceHeaderOffset && IsSliceHeaderByte(unit[kStartCodeSize]);
}

// A slice that opens a picture, or one that continues the picture before it.
inline bool OpensPicture(const uint8_t* unit, int32_t length) {
    return IsSlice(unit, length) && (unit[kSliceHeaderOffset] & kFirstSliceFlag) != 0;
}
inline bool ContinuesPicture(const uint8_t* unit, int32_t length) {
    return IsSlice(unit, length) && (unit[kSliceHeaderOffset] & kFirstSliceFlag) == 0;
}

inline bool IsEndType(int type) { return type == kEndOfSequence || type == kEndOfBitstream; }

// Filler and suffix SEI may stand between the slices of one picture; any
// other unit that is not a slice comes only before a picture, so a
// continuation slice after it has lost its first slice.
inline bool MayStandBetweenSlices(uint8_t headerByte) {
    const int type = TypeOf(headerByte);
    return type == kFillerData || type == kSuffixSei;
}

}  // namespace nal_unit
