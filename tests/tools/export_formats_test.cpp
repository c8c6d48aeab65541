// The export's times and text formats: ISO 8601 UTC parsed and written, SRT
// and CSV checked exactly, GPX and KML read back by gpsbabel.

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <limits>
#include <sstream>
#include <vector>

#include "lib/export/export_time.h"
#include "lib/export/picture_range.h"
#include "lib/export/telemetry_caption.h"
#include "lib/export/track_writers.h"

namespace {

constexpr int64_t kStart = 1796729148000000;  // 2026-12-08T11:25:48Z

std::string Write(const std::string& extension, const std::vector<ExportedPicture>& pictures) {
    const std::unique_ptr<TrackWriter> writer = MakeTrackWriter(extension);
    if (!writer) return "no writer for " + extension;
    std::ostringstream out;
    writer->Begin(out);
    for (const ExportedPicture& p : pictures) writer->Add(out, p);
    writer->End(out);
    return out.str();
}

// Fields of a CSV row, without the "\r" that unicsv ends its rows with.
std::vector<std::string> Split(const std::string& line) {
    std::vector<std::string> fields;
    std::istringstream in(line.substr(0, line.find('\r')));
    for (std::string field; std::getline(in, field, ',');) fields.push_back(field);
    return fields;
}

}  // namespace

TEST(ExportTime, ParsesOnlyUtcAndFormatsToTheMillisecond) {
    const struct {
        const char* text;
        bool ok;
        int64_t micros;
    } cases[] = {
        {"2026-12-08T11:25:48Z", true, kStart},
        {"2026-12-08T11:25:48.04+00:00", true, kStart + 40000},
        {"2026-12-08T11:25:48.123456Z", true, kStart + 123456},
        {"2024-02-29T23:59:59.5Z", true, 1709251199500000},
        {"1969-12-31T23:59:59.999Z", true, -1000},
        {"2026-12-08T11:25:48", false, 0},
        {"2026-12-08T11:25:48+01:00", false, 0},
        {"2026-12-08T11:25:48-00:00", false, 0},
        {"2026-12-08 11:25:48Z", false, 0},
        {"2026-12-08T11:25:48.1234567Z", false, 0},
        {"2026-12-08T11:25:48Zjunk", false, 0},
        {"2025-02-29T00:00:00Z", false, 0},
        {"2026-13-01T00:00:00Z", false, 0},
        {"2026-12-08T24:00:00Z", false, 0},
        {"2026-12-08T11:25:60Z", false, 0},
        {"", false, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        int64_t micros = 7;
        ASSERT_EQ(ParseIsoUtc(c.text, micros), c.ok);
        if (!c.ok) continue;
        EXPECT_EQ(micros, c.micros);
        const int64_t millisecond = c.micros - ((c.micros % 1000) + 1000) % 1000;
        int64_t back = 0;
        EXPECT_TRUE(ParseIsoUtc(FormatIsoUtc(c.micros), back)) << FormatIsoUtc(c.micros);
        EXPECT_EQ(back, millisecond);
    }
    EXPECT_EQ(FormatIsoUtc(-1), "1969-12-31T23:59:59.999Z");
    EXPECT_EQ(FormatIsoUtc(kStart + 40999), "2026-12-08T11:25:48.040Z");
    EXPECT_EQ(FormatUtcTimeOfDay(-1), "23:59:59.999");
    EXPECT_EQ(FormatUtcTimeOfDay(kStart + 40999), "11:25:48.040");
}

// --from and --to: a plain whole number is a picture, anything else must be a
// time to the microsecond, so that a review tool's marks land on the picture
// meant.
TEST(PictureRange, EndsAreAPictureNumberOrATimeFromTheFirstPicture) {
    const struct {
        const char* text;
        RangeEnd::Kind kind;  // kOpen: refused
        int64_t value;
    } cases[] = {
        {"120", RangeEnd::kPicture, 120},
        {"1", RangeEnd::kPicture, 1},
        {"4.8s", RangeEnd::kTime, 4800000},
        {"0s", RangeEnd::kTime, 0},
        {"0.000001s", RangeEnd::kTime, 1},
        {"1:23.5", RangeEnd::kTime, 83500000},
        {"0:01:23.5", RangeEnd::kTime, 83500000},
        {"90:00", RangeEnd::kTime, 5400000000},
        {"2:00:00.04", RangeEnd::kTime, 7200040000},
        {"0", RangeEnd::kOpen, 0},
        {"-5", RangeEnd::kOpen, 0},
        {"4.8", RangeEnd::kOpen, 0},
        {"4.8 s", RangeEnd::kOpen, 0},
        {".5s", RangeEnd::kOpen, 0},
        {"5.s", RangeEnd::kOpen, 0},
        {"1.1234567s", RangeEnd::kOpen, 0},
        {"s", RangeEnd::kOpen, 0},
        {"1:60", RangeEnd::kOpen, 0},
        {"0:60:00", RangeEnd::kOpen, 0},
        {"1:2:3:4", RangeEnd::kOpen, 0},
        {"1:23.5s", RangeEnd::kOpen, 0},
        {":30", RangeEnd::kOpen, 0},
        {"99999999999999999999", RangeEnd::kOpen, 0},
        {"", RangeEnd::kOpen, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        RangeEnd end;
        ASSERT_EQ(ParseRangeEnd(c.text, end), c.kind != RangeEnd::kOpen);
        if (c.kind == RangeEnd::kOpen) continue;
        EXPECT_EQ(end.kind, c.kind);
        EXPECT_EQ(end.value, c.value);
    }
    // Ends of one kind are ordered before reading; of two kinds they cannot be.
    PictureRange range;
    ASSERT_TRUE(ParseRangeEnd("20", range.from) && ParseRangeEnd("19", range.to));
    EXPECT_TRUE(range.Reversed());
    ASSERT_TRUE(ParseRangeEnd("0.5s", range.to));
    EXPECT_FALSE(range.Reversed());
    EXPECT_EQ(DescribeRangeEnd(range.to), "0.5 s");
}

TEST(TextTracks, SubtitlesAndTableForTwoPictures) {
    ExportedPicture first;
    first.number = 1;
    first.timeMicros = kStart;
    first.durationMicros = 40000;
    first.values = {0.0f, 90.0f, 0.0, 0.0, 0.0};
    first.caption = TelemetryCaption(first);
    ExportedPicture second = first;  // after a gap, more than an hour in
    second.number = 2;
    second.index = 93076;
    second.offsetMicros = 3723040000;
    second.timeMicros = kStart + second.offsetMicros;
    second.values = {-12.5f, 75.25f, 116.391, -39.9042, 1234567.891};
    second.caption = TelemetryCaption(second);

    EXPECT_EQ(Write(".srt", {first, second}),
              "1\n00:00:00,000 --> 00:00:00,040\n"
              "#1  11:25:48.000\nLat 0  Lon 0  H 0 m\nAz 0\u00b0  Pt 90\u00b0\n\n"
              "2\n01:02:03,040 --> 01:02:03,080\n"
              "#2  12:27:51.040\nLat -39.9042  Lon 116.391  H 1.23457e+06 m\nAz -12.5\u00b0  Pt 75.25\u00b0\n\n");
    EXPECT_EQ(Write(".CSV", {first, second}),
              "picture,time,azimuth,pitch,longitude,latitude,height\n"
              "1,2026-12-08T11:25:48.000Z,0,90,0,0,0\n"
              "2,2026-12-08T12:27:51.040Z,-12.5,75.25,116.391,-39.9042,1.23457e+06\n");
    EXPECT_EQ(MakeTrackWriter(".mp4"), nullptr);
    EXPECT_EQ(MakeTrackWriter("srt"), nullptr);
}

class MapTracks : public ::testing::TestWithParam<const char*> {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/dlp-export-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        dir_ = pattern;
    }
    void TearDown() override { std::filesystem::remove_all(dir_); }

    std::string dir_;
};

// gpsbabel reads tracks only with -t; unicsv writes 6 decimals of a degree
// and 0.1 m, and names its columns in its first row.
TEST_P(MapTracks, GpsbabelReadsOnePointPerPlaceablePicture) {
    if (std::system("command -v gpsbabel >/dev/null 2>&1") != 0) GTEST_SKIP() << "gpsbabel is not installed";
    const std::string format = GetParam();
    std::vector<ExportedPicture> pictures, placeable;
    for (int i = 0; i < 22; ++i) {
        ExportedPicture p;
        p.number = i + 1;
        p.timeMicros = kStart + i * 40000;
        p.values = {0.0f, 90.0f, 151.2093417 - i * 0.0234567, -0.0001 + i * 0.0000123, -12.345 + i * 7.5};
        if (i == 5) p.values.latitude = 90.5;
        if (i == 9) p.values.longitude = std::numeric_limits<double>::quiet_NaN();
        pictures.push_back(p);
        if (i != 5 && i != 9) placeable.push_back(p);
    }
    const std::string base = dir_ + "/track";
    const std::string text = Write("." + format, pictures);
    std::ofstream(base + "." + format) << text;
    const std::string span = "<TimeSpan><begin>" + FormatIsoUtc(kStart) + "</begin><end>" +
                             FormatIsoUtc(pictures.back().timeMicros) + "</end></TimeSpan>";
    EXPECT_EQ(text.find(span) != std::string::npos, format == "kml");
    const std::string command = "gpsbabel -t -i " + format + " -f '" + base + "." + format + "' -o unicsv -F '" +
                                base + ".csv' 2>/dev/null";
    ASSERT_EQ(std::system(command.c_str()), 0) << command;

    std::ifstream in(base + ".csv");
    std::string line;
    ASSERT_TRUE(std::getline(in, line));
    EXPECT_EQ(Split(line), Split("No,Latitude,Longitude,Altitude,Date,Time"));
    size_t n = 0;
    for (; n < placeable.size() && std::getline(in, line); ++n) {
        SCOPED_TRACE(line);
        const std::vector<std::string> f = Split(line);
        ASSERT_TRUE(f.size() == 6 && f[4].size() == 10);
        const ExportedPicture& want = placeable[n];
        EXPECT_NEAR(std::stod(f[1]), want.values.latitude, 1e-6);
        EXPECT_NEAR(std::stod(f[2]), want.values.longitude, 1e-6);
        EXPECT_NEAR(std::stod(f[3]), want.values.height, 0.05 + 1e-9);
        std::string iso = f[4] + "T" + f[5] + "Z";
        iso[4] = iso[7] = '-';
        int64_t time = 0;
        EXPECT_TRUE(ParseIsoUtc(iso, time) && time == want.timeMicros) << iso;
    }
    EXPECT_EQ(n, placeable.size());
    EXPECT_FALSE(std::getline(in, line)) << "one more point: " << line;
}

INSTANTIATE_TEST_SUITE_P(Formats, MapTracks, ::testing::Values("gpx", "kml"));
