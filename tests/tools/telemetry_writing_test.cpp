// Records and telemetry units as the tools write them, read back by the
// player's own capture and decoding.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>
#include <sstream>

#include "pipeline/decode_data.h"
#include "core/present/telemetry_line.h"
#include "lib/formats/telemetry_track.h"
#include "lib/making/telemetry_unit_writer.h"

namespace {

// What the player's capture makes of a unit.
TelemetryRecord Captured(const std::vector<uint8_t>& unit) {
    auto pipeline = std::make_unique<DecodeData>();
    EXPECT_TRUE(pipeline->CaptureTelemetry(unit.data(), static_cast<int32_t>(unit.size())));
    return pipeline->telemetry;
}

TelemetryRecord Filled(uint8_t (*byteAt)(size_t)) {
    TelemetryRecord r;
    for (size_t i = 0; i < kTelemetryRecordSize; ++i) r.bytes[i] = byteAt(i);
    return r;
}

size_t EscapeBytes(const std::vector<uint8_t>& unit) {
    constexpr size_t kHeader = 4 + 1 + 1 + 4;  // start code, marker, type, size FF FF FF 11
    return unit.size() - kHeader - kTelemetryRecordSize;
}

}  // namespace

TEST(TelemetryUnitWriting, UnitLayoutIsMarkerTypeAndContinuedSize) {
    TelemetryRecord record{};
    const std::vector<uint8_t> unit = BuildTelemetryUnit(record, 0x2A);
    const std::vector<uint8_t> head = {0x00, 0x00, 0x00, 0x01, 0x06, 0x2A, 0xFF, 0xFF, 0xFF, 0x11};
    ASSERT_GT(unit.size(), head.size());
    EXPECT_TRUE(std::equal(head.begin(), head.end(), unit.begin()));

    std::vector<uint8_t> size;
    AppendPayloadSize(size, 254);
    AppendPayloadSize(size, 255);
    AppendPayloadSize(size, 0);
    EXPECT_EQ(size, (std::vector<uint8_t>{0xFE, 0xFF, 0x00, 0x00}));
}

// Records that stress emulation prevention go through the player's de-escaping
// rule byte for byte.
TEST(TelemetryUnitWriting, EscapedRecordsComeBackExactlyThroughCapture) {
    const TelemetryRecord records[] = {
        Filled([](size_t) -> uint8_t { return 0x00; }),
        Filled([](size_t) -> uint8_t { return 0x03; }),
        Filled([](size_t i) -> uint8_t { return i % 3 == 2 ? 0x03 : 0x00; }),  // 00 00 03 ...
        Filled([](size_t i) -> uint8_t { return static_cast<uint8_t>(i % 4 == 3 ? i / 4 % 4 : 0); }),
        Filled([](size_t i) -> uint8_t { return static_cast<uint8_t>((i * 2654435761u) >> 13); }),
        Filled(RecordFillByte),
    };
    for (const TelemetryRecord& record : records) {
        const std::vector<uint8_t> unit = BuildTelemetryUnit(record);
        const TelemetryRecord back = Captured(unit);
        EXPECT_EQ(0, std::memcmp(back.bytes, record.bytes, kTelemetryRecordSize));
    }
    EXPECT_GT(EscapeBytes(BuildTelemetryUnit(records[0])), 300u);
    EXPECT_EQ(EscapeBytes(BuildTelemetryUnit(records[4])), 0u);
}

// A unit cut short keeps the declared size; capture takes the bytes it
// carries and leaves the rest of the record zero.
TEST(TelemetryUnitWriting, CutShortUnitCarriesOnlyItsFirstBytes) {
    const TelemetryRecord record = Filled([](size_t i) -> uint8_t { return static_cast<uint8_t>(i | 0x80); });
    const std::vector<uint8_t> unit = BuildCutShortTelemetryUnit(record, 60);
    EXPECT_EQ(unit.size(), 10u + 60u);
    const TelemetryRecord back = Captured(unit);
    EXPECT_EQ(0, std::memcmp(back.bytes, record.bytes, 60));
    EXPECT_TRUE(std::all_of(back.bytes + 60, back.bytes + kTelemetryRecordSize, [](uint8_t b) { return b == 0; }));
    EXPECT_EQ(BuildCutShortTelemetryUnit(record, kTelemetryRecordSize), BuildTelemetryUnit(record));
}

TEST(TelemetryUnitWriting, EscapedStreamHoldsNoStartCodeLikeRun) {
    std::vector<uint8_t> out;
    const uint8_t data[] = {0x00, 0x00, 0x00, 0x00, 0x00, 0x01, 0x00,
                            0x00, 0x03, 0x00, 0x00, 0x04, 0x00, 0x00};
    AppendEscaped(out, data, sizeof data);
    const std::vector<uint8_t> expected = {0x00, 0x00, 0x03, 0x00, 0x00, 0x03, 0x00, 0x01, 0x00,
                                           0x00, 0x03, 0x03, 0x00, 0x00, 0x04, 0x00, 0x00};
    EXPECT_EQ(out, expected);
}

TEST(TelemetryRecordEncoding, ValuesComeBackWithinHalfACount) {
    const TelemetrySample samples[] = {
        {0, 90, 0, 0, 0},
        {-180.0027, -90.0027, -214.7483648, -90, -2147483.648},
        {179.997, 269.997, 214.7483647, 90, 2147483.647},
        {12.5, 75.25, 116.3912345, 39.9042111, 1234.5675},
    };
    const double angleStep = 360.0 / 65535.0;
    for (const TelemetrySample& s : samples) {
        TelemetryRecord record;
        std::string error;
        ASSERT_TRUE(EncodeRecord(s, record, error)) << error;
        const TelemetryValues v = DecodeTelemetry(record);
        EXPECT_NEAR(v.azimuth, s.azimuth, angleStep / 2 + 1e-4);
        EXPECT_NEAR(v.pitch, s.pitch, angleStep / 2 + 1e-4);
        EXPECT_NEAR(v.longitude, s.longitude, 0.5e-7 + 1e-12);
        EXPECT_NEAR(v.latitude, s.latitude, 0.5e-7 + 1e-12);
        EXPECT_NEAR(v.height, s.height, 0.0005 + 1e-9);
    }
}

TEST(TelemetryRecordEncoding, OutOfRangeValueIsRefusedByName) {
    const struct {
        TelemetrySample sample;
        const char* name;
    } cases[] = {
        {{180.01, 90, 0, 0, 0}, "azimuth"},
        {{0, -90.01, 0, 0, 0}, "pitch"},
        {{0, 90, 214.75, 0, 0}, "longitude"},
        {{0, 90, 0, -214.75, 0}, "latitude"},
        {{0, 90, 0, 0, 2147483.648 + 0.001}, "height"},
        {{NAN, 90, 0, 0, 0}, "azimuth"},
        {{0, 90, 0, 0, INFINITY}, "height"},
    };
    for (const auto& c : cases) {
        TelemetryRecord record;
        std::string error;
        EXPECT_FALSE(EncodeRecord(c.sample, record, error));
        EXPECT_EQ(error.rfind(c.name, 0), 0u) << error;
    }
}

TEST(TelemetryRecordEncoding, ShownFieldsOnlyDependOnTheSample) {
    TelemetryRecord a, b;
    std::string error;
    ASSERT_TRUE(EncodeRecord({1, 2, 3, 4, 5}, a, error));
    ASSERT_TRUE(EncodeRecord({-1, 100, -3, -4, -5}, b, error));
    for (size_t i = 0; i < kTelemetryRecordSize; ++i) {
        const bool shown = (i >= 17 && i < 21) || (i >= 98 && i < 110);
        if (!shown) {
            EXPECT_EQ(a.bytes[i], b.bytes[i]) << i;
        }
    }
}

TEST(TelemetryCsv, ReadsHeaderedReorderedAndBareTracks) {
    std::istringstream headered(
        "# a track\nrecord,height,azimuth,pitch,latitude,longitude\n1,100,1.5,80,40,116\n\n2, 101 "
        ",2,81,41,117\r\n");
    std::istringstream bare("10,90,116.5,39.5,1500\n");
    std::vector<TelemetrySample> a, b;
    std::string error;
    ASSERT_TRUE(ParseTelemetryCsv(headered, a, error)) << error;
    ASSERT_TRUE(ParseTelemetryCsv(bare, b, error)) << error;
    ASSERT_EQ(a.size(), 2u);
    EXPECT_DOUBLE_EQ(a[1].azimuth, 2);
    EXPECT_DOUBLE_EQ(a[1].height, 101);
    EXPECT_DOUBLE_EQ(a[0].longitude, 116);
    ASSERT_EQ(b.size(), 1u);
    EXPECT_DOUBLE_EQ(b[0].latitude, 39.5);
}

TEST(TelemetryCsv, ErrorsNameTheLine) {
    const struct {
        const char* text;
        const char* expected;
    } cases[] = {
        {"1,2,3,4,5\n1,2,x,4,5\n", "line 2: bad longitude \"x\""},
        {"1,2,3,4\n", "line 1: missing height"},
        {"azimuth,pitch,longitude,latitude\n", "line 1: header has no column \"height\""},
        {"1,2,3,4,5e\n", "line 1: bad height \"5e\""},
    };
    for (const auto& c : cases) {
        std::istringstream in(c.text);
        std::vector<TelemetrySample> samples;
        std::string error;
        EXPECT_FALSE(ParseTelemetryCsv(in, samples, error));
        EXPECT_EQ(error, c.expected);
    }
}

// The CSV shows the player's own text for each value, and reading it back
// gives the same record fields again.
TEST(TelemetryCsv, RowsAreThePlayersNumbersAndReadBackToTheSameFields) {
    for (const TelemetrySample& s : GenerateFlightPath(300)) {
        TelemetryRecord record, again;
        std::string error;
        ASSERT_TRUE(EncodeRecord(s, record, error)) << error;
        char line[kTelemetryLineMax];
        const size_t n = FormatTelemetryLine(line, 7, 1, DecodeTelemetry(record));
        std::string expected(line, n - 1);
        for (const char* label : {"video:1,", "Az:", "Pt:", "Lon:", "Lat:", "H:"}) {
            expected.erase(expected.find(label), std::strlen(label));
        }
        const std::string row = TelemetryCsvRow(7, record);
        ASSERT_EQ(row, expected);

        std::vector<TelemetrySample> parsed;
        int columns = 0;
        for (char c : row) columns += c == ',';
        ASSERT_EQ(columns, 5);
        std::istringstream withHeader(std::string(kTelemetryCsvHeader) + "\n" + row + "\n");
        ASSERT_TRUE(ParseTelemetryCsv(withHeader, parsed, error)) << error;
        ASSERT_TRUE(EncodeRecord(parsed.at(0), again, error)) << error;
        EXPECT_EQ(0, std::memcmp(record.bytes + 17, again.bytes + 17, 4));
    }
}
