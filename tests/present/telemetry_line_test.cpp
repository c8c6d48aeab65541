// The telemetry record's fields and the console line printed per picture.

#include <gtest/gtest.h>

#include <clocale>
#include <cstring>
#include <random>
#include <sstream>

#include "core/format/byte_order.h"
#include "core/present/telemetry_line.h"
#include "tests/support/pipeline_harness.h"

namespace {

using ::testing::internal::CaptureStdout;
using ::testing::internal::GetCapturedStdout;

constexpr Presentation kLinesOnly{/*window=*/false, /*lines=*/true, /*firstUnitLine=*/true};

TelemetryRecord Zero() {
    TelemetryRecord record;
    std::memset(record.bytes, 0, sizeof record.bytes);
    return record;
}

TelemetryRecord With16(size_t offset, int16_t value) {
    TelemetryRecord record = Zero();
    le::WriteU16(record.bytes + offset, static_cast<uint16_t>(value));
    return record;
}

TelemetryRecord With32(size_t offset, int32_t value) {
    TelemetryRecord record = Zero();
    le::WriteU32(record.bytes + offset, static_cast<uint32_t>(value));
    return record;
}

// The line as the picture display prints it, for the `count`-th picture.
class TelemetryLine : public ::testing::Test {
protected:
    std::unique_ptr<DecodeData> pipeline = test_pipeline::Bare();
    std::vector<uint8_t> picture = std::vector<uint8_t>(1920 * 1080 * 3, 0);

    void SetUp() override {
        pipeline->Present(kLinesOnly);
        pipeline->picWidth = 1920;
        pipeline->picHeight = 1080;
    }
    std::string Show(const TelemetryRecord& record) {
        CaptureStdout();
        pipeline->ShowFrame(picture.data(), record);
        return GetCapturedStdout();
    }
};

TEST_F(TelemetryLine, AllZeroRecordPrintsTheRestingValues) {
    EXPECT_EQ(Show(Zero()), "1,video:1,Az:0,Pt:90,Lon:0,Lat:0,H:0\n");
}

TEST_F(TelemetryLine, CountsPicturesFromOneAndShowsTheChannel) {
    Show(Zero());
    Show(Zero());
    EXPECT_EQ(Show(Zero()), "3,video:1,Az:0,Pt:90,Lon:0,Lat:0,H:0\n");
    pipeline->videoType = 0;
    EXPECT_EQ(Show(Zero()), "4,video:0,Az:0,Pt:90,Lon:0,Lat:0,H:0\n");
}

// With the line turned off the pictures are still counted, so the count
// goes on where it stands once it is turned back on.
TEST_F(TelemetryLine, CountGoesOnWhileTheLineIsOff) {
    pipeline->Present(Presentation::Headless());
    EXPECT_EQ(Show(Zero()), "");
    EXPECT_EQ(Show(Zero()), "");
    pipeline->Present(kLinesOnly);
    EXPECT_EQ(Show(Zero()), "3,video:1,Az:0,Pt:90,Lon:0,Lat:0,H:0\n");
}

struct FieldCase {
    TelemetryRecord record;
    std::string line;
};

TEST_F(TelemetryLine, DecodesEachFieldWithItsScaleAndPrintsSixDigits) {
    const std::vector<FieldCase> cases{
        {With16(17, 16384), "Az:90.0014,Pt:90,Lon:0,Lat:0,H:0"},
        {With16(19, 16384), "Az:0,Pt:180.001,Lon:0,Lat:0,H:0"},
        {With16(17, -32768), "Az:-180.003,Pt:90,Lon:0,Lat:0,H:0"},
        {With16(17, 32767), "Az:179.997,Pt:90,Lon:0,Lat:0,H:0"},
        {With16(17, 1), "Az:0.00549325,Pt:90,Lon:0,Lat:0,H:0"},
        {With16(19, -32768), "Az:0,Pt:-90.0027,Lon:0,Lat:0,H:0"},
        {With32(98, 1000000000), "Az:0,Pt:90,Lon:100,Lat:0,H:0"},
        {With32(102, -500000000), "Az:0,Pt:90,Lon:0,Lat:-50,H:0"},
        {With32(106, -5000), "Az:0,Pt:90,Lon:0,Lat:0,H:-5"},
        {With32(106, 2000000000), "Az:0,Pt:90,Lon:0,Lat:0,H:2e+06"},
        {With32(106, 1), "Az:0,Pt:90,Lon:0,Lat:0,H:0.001"},
        {With32(98, 1), "Az:0,Pt:90,Lon:1e-07,Lat:0,H:0"},
    };
    for (const FieldCase& c : cases) {
        char line[kTelemetryLineMax];
        const size_t n = FormatTelemetryLine(line, 1, 1, DecodeTelemetry(c.record));
        EXPECT_EQ(std::string(line, n), "1,video:1," + c.line + "\n");
    }
    TelemetryRecord both = With32(98, 1000000000);
    le::WriteU32(both.bytes + 102, static_cast<uint32_t>(-500000000));
    EXPECT_NE(Show(both).find(",Lon:100,Lat:-50,"), std::string::npos);
}

TEST_F(TelemetryLine, BytesOutsideTheReadFieldsChangeNothing) {
    TelemetryRecord base = With16(17, 1234);
    le::WriteU16(base.bytes + 19, 4321);
    le::WriteU32(base.bytes + 98, 123456789);
    le::WriteU32(base.bytes + 102, -98765432);
    le::WriteU32(base.bytes + 106, 777777);
    char expected[kTelemetryLineMax];
    const std::string baseline(expected, FormatTelemetryLine(expected, 5, 1, DecodeTelemetry(base)));
    for (size_t offset = 0; offset < kTelemetryRecordSize; ++offset) {
        const bool read = (offset >= 17 && offset <= 20) || (offset >= 98 && offset <= 109);
        if (read) continue;
        TelemetryRecord changed = base;
        changed.bytes[offset] ^= 0xFF;
        char line[kTelemetryLineMax];
        ASSERT_EQ(std::string(line, FormatTelemetryLine(line, 5, 1, DecodeTelemetry(changed))),
                  baseline)
            << "byte " << offset;
    }
}

// The standard stream's default format, in the classic locale, is the
// reference: whatever values a record holds, the line must read the same.
TEST_F(TelemetryLine, MatchesTheStandardStreamFormatForAnyRecord) {
    std::mt19937 random(2024);
    for (int i = 0; i < 3000; ++i) {
        TelemetryRecord record;
        for (uint8_t& b : record.bytes) b = static_cast<uint8_t>(random());
        const TelemetryValues v = DecodeTelemetry(record);
        std::ostringstream reference;
        reference.imbue(std::locale::classic());
        reference << (i + 1) << ",video:" << 1 << ",Az:" << v.azimuth << ",Pt:" << v.pitch
                  << ",Lon:" << v.longitude << ",Lat:" << v.latitude << ",H:" << v.height << "\n";
        char line[kTelemetryLineMax];
        ASSERT_EQ(std::string(line, FormatTelemetryLine(line, i + 1, 1, v)), reference.str());
    }
}

// Qt takes the C locale from the environment; a German one writes decimal
// commas with printf. The line must keep its full stops.
TEST_F(TelemetryLine, KeepsTheDecimalPointUnderAGermanLocale) {
    const std::string previous = std::setlocale(LC_ALL, nullptr);
    if (std::setlocale(LC_ALL, "de_DE.UTF-8") == nullptr) {
        GTEST_SKIP() << "locale de_DE.UTF-8 is not installed";
    }
    const std::string line = Show(With16(17, 16384));
    std::setlocale(LC_ALL, previous.c_str());
    EXPECT_EQ(line, "1,video:1,Az:90.0014,Pt:90,Lon:0,Lat:0,H:0\n");
}

}  // namespace

// The tools' columns are the line's values without its labels, digit for
// digit, whatever the line's other fields are.
TEST(TelemetryValuesCsv, WritesTheLinesValuesInItsOrderAndFormat) {
    struct Case {
        TelemetryValues values;
        const char* csv;
        const char* line;
    };
    const Case cases[] = {
        {{0, 90, 0, 0, 0}, "0,90,0,0,0", "7,video:1,Az:0,Pt:90,Lon:0,Lat:0,H:0\n"},
        {{359.99999f, -90, 116.397128, 39.9, 12345678}, "360,-90,116.397,39.9,1.23457e+07",
         "7,video:1,Az:360,Pt:-90,Lon:116.397,Lat:39.9,H:1.23457e+07\n"},
        {{-0.5f, 1e-7f, -179.999999, -0.000123456, 0.25}, "-0.5,1e-07,-180,-0.000123456,0.25",
         "7,video:1,Az:-0.5,Pt:1e-07,Lon:-180,Lat:-0.000123456,H:0.25\n"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(TelemetryValuesCsv(c.values), c.csv);
        std::ostringstream line;
        WriteTelemetryLine(line, 7, 1, c.values);
        EXPECT_EQ(line.str(), c.line);
    }
}
