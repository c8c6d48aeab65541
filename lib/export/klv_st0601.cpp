#include "lib/export/klv_st0601.h"

#include <algorithm>
#include <cmath>
#include <iterator>
#include <optional>

// What the player shows goes to these items of the Local Set, each with
// ST 0601's linear mapping of its range onto its integer, rounded to nearest:
//
//   Lat -> 13 Sensor Latitude       int32,  +-90 over +-(2^31-1)
//   Lon -> 14 Sensor Longitude      int32,  +-180 over +-(2^31-1)
//   H   -> 15 Sensor True Altitude  uint16, -900..19000 m over 0..65535
//   Az  -> 18 Sensor Relative Azimuth Angle    uint32, 0..360 over 0..2^32-1
//   Pt  -> 19 Sensor Relative Elevation Angle  int32,  +-180 over +-(2^31-1)
//
// Az turns the camera around the vertical, as the relative azimuth does
// (clockwise from the platform's nose); it is wrapped into 0..360. Pt is the
// raw signed camera angle plus 90 (90 = level), so the elevation, level at 0
// and negative looking down, is Pt - 90, wrapped into -180..180.
//
// Out of range: latitude and longitude beyond their range, or not finite,
// get the reserved 0x80000000 ("out of range"), as does an elevation that is
// not finite. Altitude is clamped into its range (infinities included). An
// azimuth that is not finite, or an altitude that is NaN, has no value to
// stand for it: its item is left out, which is how a Local Set says it does
// not know.

namespace {

constexpr uint8_t kUasLocalSetKey[16] = {0x06, 0x0E, 0x2B, 0x34, 0x02, 0x0B, 0x01, 0x01,
                                         0x0E, 0x01, 0x03, 0x01, 0x01, 0x00, 0x00, 0x00};

// ST 0601.17: every item written here has kept its tag, format and mapping
// through the later revisions, so readers of any of them agree on the set.
constexpr uint8_t kLocalSetVersion = 17;

enum Tag : uint8_t {
    kChecksum = 1,
    kPrecisionTimeStamp = 2,
    kSensorLatitude = 13,
    kSensorLongitude = 14,
    kSensorTrueAltitude = 15,
    kSensorRelativeAzimuth = 18,
    kSensorRelativeElevation = 19,
    kVersionNumber = 65,
};

constexpr double kInt32Max = 2147483647.0;
constexpr double kUint32Max = 4294967295.0;
constexpr double kUint16Max = 65535.0;
constexpr uint32_t kOutOfRange = 0x80000000u;
constexpr double kAltitudeMin = -900.0;
constexpr double kAltitudeMax = 19000.0;

// The checksum item's tag, length and two bytes.
constexpr size_t kChecksumItemSize = 4;

using Bytes = std::vector<uint8_t>;

// BER: short form below 128, else 0x80 | count followed by that many bytes.
void AppendBerLength(Bytes& out, size_t length) {
    if (length < 128) {
        out.push_back(static_cast<uint8_t>(length));
        return;
    }
    uint8_t bytes[sizeof(size_t)];
    size_t count = 0;
    for (size_t rest = length; rest != 0; rest >>= 8) bytes[count++] = static_cast<uint8_t>(rest);
    out.push_back(static_cast<uint8_t>(0x80 | count));
    while (count > 0) out.push_back(bytes[--count]);
}

// Tags below 128 are one byte in BER-OID; all of ours are.
void AppendItem(Bytes& out, Tag tag, uint64_t value, size_t size) {
    out.push_back(tag);
    AppendBerLength(out, size);
    for (size_t i = size; i > 0; --i) out.push_back(static_cast<uint8_t>(value >> (8 * (i - 1))));
}

// round(value / range * (2^31 - 1)) for |value| <= range, else the reserved value.
uint32_t SignedOverRange(double value, double range) {
    if (!std::isfinite(value) || std::fabs(value) > range) return kOutOfRange;
    const long long counts = std::llround(value / range * kInt32Max);
    const long long held = std::min(std::max(counts, -2147483647LL), 2147483647LL);
    return static_cast<uint32_t>(static_cast<int32_t>(held));
}

std::optional<uint16_t> AltitudeCounts(double metres) {
    if (std::isnan(metres)) return std::nullopt;
    const double held = std::min(std::max(metres, kAltitudeMin), kAltitudeMax);
    const double counts = std::round((held - kAltitudeMin) * kUint16Max / (kAltitudeMax - kAltitudeMin));
    return static_cast<uint16_t>(std::min(counts, kUint16Max));
}

std::optional<uint32_t> AzimuthCounts(double degrees) {
    if (!std::isfinite(degrees)) return std::nullopt;
    double wrapped = std::fmod(degrees, 360.0);
    if (wrapped < 0) wrapped += 360.0;
    const double counts = std::round(wrapped / 360.0 * kUint32Max);
    return static_cast<uint32_t>(std::min(counts, kUint32Max));
}

uint32_t ElevationCounts(double pitchAsShown) {
    const double elevation = pitchAsShown - 90.0;
    if (!std::isfinite(elevation)) return kOutOfRange;
    return SignedOverRange(std::remainder(elevation, 360.0), 180.0);
}

Bytes Items(const ExportedPicture& picture) {
    const TelemetryValues& v = picture.values;
    Bytes items;
    AppendItem(items, kPrecisionTimeStamp, static_cast<uint64_t>(picture.timeMicros), 8);
    AppendItem(items, kVersionNumber, kLocalSetVersion, 1);
    AppendItem(items, kSensorLatitude, SignedOverRange(v.latitude, 90.0), 4);
    AppendItem(items, kSensorLongitude, SignedOverRange(v.longitude, 180.0), 4);
    if (const auto altitude = AltitudeCounts(v.height)) AppendItem(items, kSensorTrueAltitude, *altitude, 2);
    if (const auto azimuth = AzimuthCounts(v.azimuth)) AppendItem(items, kSensorRelativeAzimuth, *azimuth, 4);
    AppendItem(items, kSensorRelativeElevation, ElevationCounts(v.pitch), 4);
    return items;
}

// ST 0601's running sum of 16-bit words: even offsets are high bytes.
uint16_t Checksum(const Bytes& bytes) {
    uint16_t sum = 0;
    for (size_t i = 0; i < bytes.size(); ++i) {
        sum = static_cast<uint16_t>(sum + (bytes[i] << (8 * ((i + 1) % 2))));
    }
    return sum;
}

}  // namespace

std::vector<uint8_t> BuildUasLocalSet(const ExportedPicture& picture) {
    const Bytes items = Items(picture);
    Bytes set(std::begin(kUasLocalSetKey), std::end(kUasLocalSetKey));
    AppendBerLength(set, items.size() + kChecksumItemSize);
    set.insert(set.end(), items.begin(), items.end());
    // The sum covers the checksum's own tag and length, not its value.
    set.push_back(kChecksum);
    set.push_back(2);
    const uint16_t sum = Checksum(set);
    set.push_back(static_cast<uint8_t>(sum >> 8));
    set.push_back(static_cast<uint8_t>(sum));
    return set;
}
