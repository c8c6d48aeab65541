// UAS Datalink Local Sets read back by a reader written from MISB ST 0601
// alone: key, BER lengths, BER-OID tags, the checksum and each item's
// inverse mapping.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <map>
#include <vector>

#include "tests/tools/support/klv_reader.h"
#include "lib/export/klv_st0601.h"

namespace {

using namespace klv_reader;

constexpr uint32_t kOutOfRange = 0x80000000u;

void ExpectWellFormed(const Bytes& b, const LocalSet& set, int64_t timeMicros) {
    ASSERT_GE(set.order.size(), 3u);
    EXPECT_EQ(set.order.front(), 2u) << "Precision Time Stamp first";
    EXPECT_EQ(set.order.back(), 1u) << "Checksum last";
    ASSERT_EQ(set.items.at(1).size(), 2u);
    EXPECT_EQ(Unsigned(set.items.at(1)), Checksum(b));
    EXPECT_EQ(set.items.at(2).size(), 8u);
    EXPECT_EQ(Unsigned(set.items.at(2)), static_cast<uint64_t>(timeMicros));
    EXPECT_EQ(set.items.at(65), Bytes{17});
}

// An item's range over its integer: signed (min == -max) over
// +-(2^31-1) with 0x80000000 reserved, unsigned over 0..2^(8 size)-1.
struct Mapping {
    uint32_t tag;
    size_t size;
    double min, max;
};
const Mapping kItems[] = {{13, 4, -90, 90}, {14, 4, -180, 180}, {15, 2, -900, 19000}, {18, 4, 0, 360},
                          {19, 4, -180, 180}};

// NaN wanted: the reserved value of a signed item, an unsigned item left out.
void ExpectDecoded(const LocalSet& set, const Mapping& m, double want) {
    SCOPED_TRACE("tag " + std::to_string(m.tag));
    const bool isSigned = m.min == -m.max;
    const auto item = set.items.find(m.tag);
    if (std::isnan(want) && !isSigned) {
        EXPECT_TRUE(item == set.items.end());
        return;
    }
    ASSERT_TRUE(item != set.items.end());
    ASSERT_EQ(item->second.size(), m.size);
    const uint64_t raw = Unsigned(item->second);
    if (isSigned) {
        ASSERT_EQ(raw == kOutOfRange, std::isnan(want)) << "raw " << raw;
    }
    if (std::isnan(want)) return;
    const double step = isSigned ? m.max / 2147483647.0 : (m.max - m.min) / (std::ldexp(1.0, 8 * m.size) - 1);
    const double value = isSigned ? static_cast<int32_t>(raw) * step : m.min + raw * step;
    // Rounded to nearest, so within half a count; 0 and 360 degrees of
    // azimuth are one direction.
    EXPECT_NEAR(m.tag == 18 ? std::remainder(value - want, 360.0) : value - want, 0.0, step * 0.500001);
}

}  // namespace

// The reader's checksum against the standard's own worked example: the
// running sum over 06 0E 2B 34 02 00 81 BB is B4 FD. The two bytes behind
// stand for the checksum's value, which the sum leaves out.
TEST(UasLocalSet, ChecksumReaderGivesThePublishedAnswer) {
    EXPECT_EQ(Checksum({0x06, 0x0E, 0x2B, 0x34, 0x02, 0x00, 0x81, 0xBB, 0xFF, 0xFF}), 0xB4FD);
}

// Wanted: latitude, longitude, altitude, azimuth, elevation; NaN as above.
TEST(UasLocalSet, ItemsDecodeBackToTheShownValues) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    const float fnan = std::numeric_limits<float>::quiet_NaN();
    const float finf = std::numeric_limits<float>::infinity();
    const struct {
        const char* name;
        TelemetryValues shown;  // azimuth, pitch, longitude, latitude, height
        double want[5];
    } cases[] = {
        {"level at the origin", {0, 90, 0, 0, 0}, {0, 0, 0, 0, 0}},
        {"in flight", {12.5f, 75.25f, 116.391, 39.9042, 1500.25}, {39.9042, 116.391, 1500.25, 12.5, -14.75}},
        {"upper edges", {359.75f, 270, 180, 90, 19000}, {90, 180, 19000, 359.75, 180}},
        {"lower edges", {-180, -90, -180, -90, -900}, {-90, -180, -900, 180, -180}},
        {"negative angles", {-90, 0, -70.25, -33.5, 10}, {-33.5, -70.25, 10, 270, -90}},
        {"beyond the ranges", {725, 300, -180.0001, 90.0001, 25000}, {nan, nan, 19000, 5, -150}},
        {"below the ranges", {-725, -200, 181, -91, -1000}, {nan, nan, -900, 355, 70}},
        {"not a number", {fnan, fnan, nan, nan, nan}, {nan, nan, nan, nan, nan}},
        {"infinite", {-finf, finf, -inf, inf, inf}, {nan, nan, 19000, nan, nan}},
        {"minus infinite height", {0, 90, 2, 1, -inf}, {1, 2, -900, 0, 0}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ExportedPicture picture;
        picture.timeMicros = 0x0006'0708'090A'0B0C;  // every byte tells its place
        picture.values = c.shown;
        const Bytes bytes = BuildUasLocalSet(picture);
        const LocalSet set = Read(bytes);
        ExpectWellFormed(bytes, set, picture.timeMicros);
        for (size_t i = 0; i < 5; ++i) ExpectDecoded(set, kItems[i], c.want[i]);
    }
}

// A whole Local Set against ST 0601's own per-item examples: Precision Time
// Stamp 24 Oct 2008 00:13:29.913 UTC, Sensor Latitude 60.17682296, Longitude
// 128.42675904, True Altitude 14190.72 m, Relative Azimuth 160.71921143 and
// Relative Elevation -168.79232483 degrees. The shown angles are floats, so
// those two items may differ from the example by the float's rounding (under
// 100 counts); every other byte must be the standard's.
TEST(UasLocalSet, AWholeSetMatchesTheStandardsExamples) {
    const Bytes published = {
        0x06, 0x0E, 0x2B, 0x34, 0x02, 0x0B, 0x01, 0x01, 0x0E, 0x01, 0x03, 0x01, 0x01, 0x00, 0x00, 0x00,
        0x2D,                                                        // 45 bytes of items
        0x02, 0x08, 0x00, 0x04, 0x59, 0xF4, 0xA6, 0xAA, 0x4A, 0xA8,  // time stamp
        0x41, 0x01, 0x11,                                            // version 17
        0x0D, 0x04, 0x55, 0x95, 0xB6, 0x6D,                          // latitude
        0x0E, 0x04, 0x5B, 0x53, 0x60, 0xC4,                          // longitude
        0x0F, 0x02, 0xC2, 0x21,                                      // altitude
        0x12, 0x04, 0x72, 0x4A, 0x0A, 0x20,                          // azimuth
        0x13, 0x04, 0x87, 0xF8, 0x4B, 0x86,                          // elevation
        0x01, 0x02,                                                  // checksum, tag and length
    };
    constexpr size_t kAzimuthValue = 48, kElevationValue = 54;

    ExportedPicture picture;
    picture.timeMicros = 1224807209913000;
    picture.values = {160.71921143f, -168.79232483f + 90, 128.42675904, 60.17682296, 14190.72};
    const Bytes got = BuildUasLocalSet(picture);

    ASSERT_EQ(got.size(), published.size() + 2);
    for (size_t at : {kAzimuthValue, kElevationValue}) {
        const auto raw = [at](const Bytes& b) {
            return static_cast<int32_t>(Unsigned(Bytes(b.begin() + long(at), b.begin() + long(at) + 4)));
        };
        EXPECT_NEAR(double(raw(got)) - double(raw(published)), 0.0, 100.0) << "item value at " << at;
    }
    Bytes masked(got.begin(), got.end() - 2);
    std::copy(published.begin() + long(kAzimuthValue), published.begin() + long(kAzimuthValue) + 4,
              masked.begin() + long(kAzimuthValue));
    std::copy(published.begin() + long(kElevationValue), published.begin() + long(kElevationValue) + 4,
              masked.begin() + long(kElevationValue));
    EXPECT_EQ(masked, published);
    EXPECT_EQ(Unsigned(Bytes(got.end() - 2, got.end())), Checksum(got));
}
