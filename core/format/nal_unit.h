#pragma once
// Annex-B framing as the sending side writes it: every unit starts with the
// 4-byte start code 00 00 00 01 followed by its first header byte.

#include <cstddef>
#include <cstdint>

#include "core/format/buffer_limits.h"
#include "core/format/start_code.h"
#include "core/format/telemetry_unit.h"

namespace nal_unit {

constexpr int kStartCodeSize = start_code::kSize;
constexpr int kPrefixSize = kStartCodeSize + 1;  // start code and header byte
// A slice segment header starts after the two header bytes; its first bit is
// first_slice_segment_in_pic_flag.
constexpr int kSliceHeaderOffset = kStartCodeSize + 2;
constexpr uint8_t kFirstSliceFlag = 0x80;

// The NAL buffer's size. Every unit the splitter hands over fits in it;
// larger units are link garbage and are dropped.
constexpr int32_t kAssemblyBufferSize = buffer_limits::kLargestPictureBytes;

// H.265 unit types (ITU-T H.265 table 7-1) the project names.
constexpr int kFirstRandomAccess = 16;  // BLA_W_LP; IRAP pictures run to 23
constexpr int kLastRandomAccess = 23;
constexpr int kIdrWithLeading = 19;     // IDR_W_RADL
constexpr int kIdrWithoutLeading = 20;  // IDR_N_LP
constexpr int kFirstNonVcl = 32;        // types below are VCL, slices or reserved
constexpr int kVps = 32;
constexpr int kSps = 33;
constexpr int kPps = 34;
constexpr int kAccessUnitDelimiter = 35;
constexpr int kEndOfSequence = 36;
constexpr int kEndOfBitstream = 37;
constexpr int kFillerData = 38;
constexpr int kPrefixSei = 39;
constexpr int kSuffixSei = 40;

// H.265 unit type from the first header byte.
inline int TypeOf(uint8_t headerByte) { return (headerByte >> 1) & 0x3F; }

// The standard's video coding layer: the slice types and the reserved types
// among them. Bit-rate accounting counts these as video.
inline bool IsVclType(int type) { return type < kFirstNonVcl; }
inline bool IsRandomAccessType(int type) { return type >= kFirstRandomAccess && type <= kLastRandomAccess; }
inline bool IsIdrType(int type) { return type == kIdrWithLeading || type == kIdrWithoutLeading; }
inline bool IsParameterSetType(int type) { return type == kVps || type == kSps || type == kPps; }

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

// A start code counts only with the header byte behind it: the splitter
// cuts a unit only once that byte has arrived.
inline bool StartCodeAt(const uint8_t* data, size_t size, size_t i) {
    return i + kPrefixSize <= size && start_code::At(data + i);
}

// Calls `unit(pointer, length)` for each unit of a whole buffer, cut where
// the splitter cuts: from one start code to the next, start code included;
// the last unit runs to the end. Bytes before the first start code belong
// to no unit. The splitter itself keeps a streaming form of this scan, which
// takes the stream a payload at a time into nalBuf and is the player's
// hottest loop.
template <typename F>
void ForEachUnit(const uint8_t* data, size_t size, F unit) {
    size_t start = SIZE_MAX;
    for (size_t i = 0; i < size; ++i) {
        if (!StartCodeAt(data, size, i)) continue;
        if (start != SIZE_MAX) unit(data + start, i - start);
        start = i;
        i += kStartCodeSize;
    }
    if (start != SIZE_MAX) unit(data + start, size - start);
}

// Streams from other encoders may use the 3-byte start code 00 00 01 as
// well; this calls `body(offset)` with the offset of the first byte after
// each one (of a 3- or a 4-byte code) of a whole buffer. The tools turn such
// streams into the 4-byte codes the splitter cuts at.
template <typename F>
void ForEachAnyStartCodeBody(const uint8_t* data, size_t size, F body) {
    for (size_t i = 0; i + 3 <= size; ++i) {
        if (data[i] == 0 && data[i + 1] == 0 && data[i + 2] == 1) {
            body(i + 3);
            i += 2;
        }
    }
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
