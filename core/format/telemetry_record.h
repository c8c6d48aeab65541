#pragma once
// The 782-byte telemetry record that the sending side puts at the start of
// each telemetry unit's payload: little-endian, unaligned fields.

#include <cstddef>
#include <cstdint>

#include "core/format/byte_order.h"

constexpr size_t kTelemetryRecordSize = 782;

struct TelemetryRecord {
    uint8_t bytes[kTelemetryRecordSize];
};
static_assert(sizeof(TelemetryRecord) == kTelemetryRecordSize, "record is packed bytes");

namespace telemetry_field {
// Offsets of the fields the player shows.
constexpr size_t kAzimuth = 17;    // s16, x 360/65535 degrees
constexpr size_t kPitch = 19;      // s16, x 360/65535 degrees, + 90
constexpr size_t kLongitude = 98;  // s32, x 1e-7 degrees
constexpr size_t kLatitude = 102;  // s32, x 1e-7 degrees
constexpr size_t kHeight = 106;    // s32, x 0.001

constexpr double kAngleScaleNum = 360.0;
constexpr double kAngleScaleDen = 65535.0;  // 65535, not 65536, as the sender scales
constexpr double kPitchOffset = 90.0;
constexpr double kDegreeScale = 1e-7;
constexpr double kHeightScale = 0.001;
}  // namespace telemetry_field

// The values a telemetry line shows, decoded from one record.
struct TelemetryValues {
    float azimuth;
    float pitch;
    double longitude;
    double latitude;
    double height;
};

inline TelemetryValues DecodeTelemetry(const TelemetryRecord& record) {
    using namespace telemetry_field;
    const uint8_t* r = record.bytes;
    TelemetryValues v;
    const double azimuth = static_cast<double>(le::ReadS16(r + kAzimuth));
    const double pitch = static_cast<double>(le::ReadS16(r + kPitch));
    v.azimuth = static_cast<float>(azimuth * kAngleScaleNum / kAngleScaleDen);
    v.pitch = static_cast<float>(pitch * kAngleScaleNum / kAngleScaleDen + kPitchOffset);
    v.longitude = static_cast<double>(le::ReadS32(r + kLongitude)) * kDegreeScale;
    v.latitude = static_cast<double>(le::ReadS32(r + kLatitude)) * kDegreeScale;
    v.height = static_cast<double>(le::ReadS32(r + kHeight)) * kHeightScale;
    return v;
}
