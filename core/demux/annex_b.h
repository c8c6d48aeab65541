#pragma once
// Annex-B stream helpers: unit boundaries, start-code normalisation and the
// few header fields the tools look at.

#include <cstddef>
#include <cstdint>
#include <vector>

// One unit of a stream with 4-byte start codes: `offset` is its start code's
// first byte, `size` runs up to the next start code (start code included).
struct UnitSpan {
    size_t offset;
    size_t size;
};

// Units of a stream that uses 4-byte start codes only, the way the player's
// splitter cuts them. Bytes before the first start code are not part of any unit.
std::vector<UnitSpan> FindUnits(const std::vector<uint8_t>& es);

// Rewrites an Annex-B stream with any mix of 3- and 4-byte start codes so that
// every unit starts with 00 00 00 01; trailing zero bytes between units go.
std::vector<uint8_t> ToFourByteStartCodes(const uint8_t* data, size_t size);

// The H.265 unit type of the unit at `unit` (start code included).
int UnitType(const uint8_t* unit);

// A coded slice (VCL) unit that opens a picture: first_slice_segment_in_pic_flag set.
// Telemetry units (header byte 0x06) are never slices, whatever their type bits say.
bool StartsPicture(const uint8_t* unit, size_t size);
bool IsSliceUnit(const uint8_t* unit, size_t size);

// Pictures in a stream: the number of units that start one.
size_t CountPictures(const std::vector<uint8_t>& es);


// A short name for a unit type ("VPS", "IDR_W_RADL", ...), or "type N".
const char* UnitTypeName(int type);
