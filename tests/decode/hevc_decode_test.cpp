// Decoding real H.265 streams, made by the recording tools, with the real
// HEVC decoder, and their conversion to packed RGB.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>

#include "core/demux/annex_b.h"
#include "tests/support/deep_colour_encoder.h"
#include "tests/support/encoded_pictures.h"
#include "tests/support/pipeline_harness.h"
#include "lib/making/pattern_encoder.h"
#include "lib/making/stream_builder.h"
#include "lib/making/telemetry_unit_writer.h"

namespace {

using test_pipeline::Bytes;
using Colour = std::array<uint8_t, 3>;

const std::vector<Colour> kColours{{255, 0, 0},   {0, 255, 0},    {0, 0, 255},    {255, 255, 255},
                                   {20, 20, 20},  {255, 255, 0},  {0, 200, 200},  {128, 64, 32}};

// Lossy coding moves colours a little; a wrong conversion moves them a lot.
bool Near(const uint8_t* pixel, const Colour& colour) {
    for (int c = 0; c < 3; ++c) {
        if (std::abs(int(pixel[c]) - int(colour[c])) > 24) return false;
    }
    return true;
}

Bytes Solid(int width, int height, const std::vector<Colour>& colours) {
    Bytes es;
    std::string error;
    EXPECT_TRUE(EncodeSolidPictures(width, height, colours, es, error)) << error;
    return es;
}

void Append(Bytes& to, const Bytes& more) { to.insert(to.end(), more.begin(), more.end()); }

// Every picture a decoder-fed pipeline shows, with the stream fed in
// link-payload-sized pieces and closed so that its last unit is handed over.
std::vector<test_pipeline::PictureLog::Picture> Decode(Bytes es) {
    auto pipeline = test_pipeline::WithDecoder();
    test_pipeline::PictureLog log(*pipeline);
    AppendEndOfBitstream(es);
    test_pipeline::Split(*pipeline, es, 480);
    return log.pictures;
}

void ExpectSolid(const test_pipeline::PictureLog::Picture& picture, int width, int height,
                 const Colour& colour, size_t index) {
    ASSERT_EQ(picture.width, width) << "picture " << index;
    ASSERT_EQ(picture.height, height) << "picture " << index;
    for (int y : {0, height / 2, height - 1}) {
        for (int x : {0, width / 2, width - 1}) {
            const uint8_t* p = &picture.rgb[(size_t(y) * width + x) * 3];
            EXPECT_TRUE(Near(p, colour)) << "picture " << index << " at " << x << "," << y << ": "
                                         << int(p[0]) << " " << int(p[1]) << " " << int(p[2]);
        }
    }
}

TEST(HevcDecode, EveryPictureIsDecodedAndConvertedInOrder) {
    const auto pictures = Decode(Solid(320, 240, kColours));
    ASSERT_EQ(pictures.size(), kColours.size());
    for (size_t i = 0; i < pictures.size(); ++i) ExpectSolid(pictures[i], 320, 240, kColours[i], i);
}

// Only the pictures the observer will look at are converted; the others
// still come in order, with their lines, only without pixels.
TEST(HevcDecode, PicturesNobodyLooksAtComeWithoutConversion) {
    Bytes es = Solid(320, 240, kColours);
    AppendEndOfBitstream(es);
    auto pipeline = test_pipeline::WithDecoder();
    pipeline->Present({/*window=*/false, /*lines=*/true, /*firstUnitLine=*/false});
    int asked = 0;
    pipeline->pixelsWanted = [&asked] { return ++asked % 3 == 0; };
    std::vector<bool> converted;
    pipeline->onPicture = [&converted](const ShownPicture& picture) {
        converted.push_back(picture.rgb != nullptr);
        if (picture.rgb == nullptr) return;
        const uint8_t* centre = picture.rgb + (size_t(picture.height / 2) * picture.width + picture.width / 2) * 3;
        EXPECT_TRUE(Near(centre, kColours[converted.size() - 1])) << "picture " << converted.size();
    };
    ::testing::internal::CaptureStdout();
    test_pipeline::Split(*pipeline, es, 480);
    const std::string lines = ::testing::internal::GetCapturedStdout();
    EXPECT_EQ(converted, (std::vector<bool>{false, false, true, false, false, true, false, false}));
    EXPECT_EQ(std::count(lines.begin(), lines.end(), '\n'), 8);
    EXPECT_EQ(lines.rfind("1,video:1,", 0), 0u) << lines;
    EXPECT_NE(lines.find("\n8,video:1,"), std::string::npos) << lines;
}

// Channel 0's crop of a 1920 x 1080 picture: blue, with a green band along
// its left and top edges, in a red surround that only a wrongly placed crop
// would show.
Bytes CropTarget() {
    std::vector<uint8_t> rgb(size_t(1920) * 1080 * 3);
    for (int y = 0; y < 1080; ++y) {
        for (int x = 0; x < 1920; ++x) {
            const bool surround = x < 300 || x >= 1620 || y < 20 || y >= 1060;
            const Colour c = surround ? Colour{255, 0, 0} : (x < 400 || y < 128) ? Colour{0, 255, 0} : Colour{0, 0, 255};
            std::copy(c.begin(), c.end(), &rgb[(size_t(y) * 1920 + x) * 3]);
        }
    }
    Bytes es;
    std::string error;
    EXPECT_TRUE(EncodeRgbPictures(1920, 1080, {rgb}, es, error)) << error;
    return es;
}

// A small copy is the shown picture (the crop, for channel 0) fitted to the
// box with its aspect, in the whole conversion's colours, made for the
// pictures the observer looks at only; the whole picture is then not
// converted at all, and the shown size is told all the same.
TEST(HevcDecode, SmallCopiesAreTheShownPictureFittedToTheBox) {
    struct Case {
        const char* what;
        Bytes es;
        int shownWidth, shownHeight, smallWidth, smallHeight;
        Colour colour;  // of every pixel, or of the crop's inside
    };
    Bytes deep;
    std::string error;
    const bool haveDeep = EncodeSolidPicturesAs("yuv420p10le", 320, 240, {kColours[6]}, deep, error);
    std::vector<Case> cases{
        {"4:3 down", Solid(320, 240, {kColours[0]}), 320, 240, 115, 86, kColours[0]},
        {"not looked at", Solid(320, 240, {kColours[1]}), 320, 240, 0, 0, kColours[1]},
        {"channel 0's crop", CropTarget(), 1280, 1024, 108, 86, {0, 0, 255}},
        {"16:9 whole", Solid(1280, 720, {kColours[2]}), 1280, 720, 152, 86, kColours[2]},
        {"small, up", Solid(64, 48, {kColours[7]}), 64, 48, 115, 86, kColours[7]},
    };
    if (haveDeep) cases.push_back({"10-bit", deep, 320, 240, 115, 86, kColours[6]});
    Bytes es;
    for (const Case& c : cases) Append(es, c.es);
    AppendEndOfBitstream(es);

    auto pipeline = test_pipeline::WithDecoder();
    pipeline->Present(Presentation::Headless());
    pipeline->videoType = 0;
    pipeline->smallPictureBox = {152, 86};
    size_t asked = 0;
    pipeline->pixelsWanted = [&asked] { return ++asked != 2; };
    size_t shown = 0;
    pipeline->onPicture = [&](const ShownPicture& picture) {
        ASSERT_LT(shown, cases.size());
        const Case& c = cases[shown++];
        SCOPED_TRACE(c.what);
        EXPECT_EQ(picture.rgb, nullptr) << "the whole picture was converted";
        EXPECT_EQ(picture.width, c.shownWidth);
        EXPECT_EQ(picture.height, c.shownHeight);
        ASSERT_EQ(picture.smallWidth, c.smallWidth);
        ASSERT_EQ(picture.smallHeight, c.smallHeight);
        ASSERT_EQ(picture.smallRgb == nullptr, c.smallWidth == 0);
        const auto at = [&picture](int x, int y) { return picture.smallRgb + (size_t(y) * picture.smallWidth + x) * 3; };
        if (shown != 3) {
            for (int y = 0; y < c.smallHeight; ++y) {
                for (int x = 0; x < c.smallWidth; ++x) ASSERT_TRUE(Near(at(x, y), c.colour)) << x << "," << y;
            }
            return;
        }
        for (int y = 0; y < c.smallHeight; ++y) {
            for (int x = 0; x < c.smallWidth; ++x) ASSERT_LT(at(x, y)[0], 64) << "surround at " << x << "," << y;
        }
        EXPECT_TRUE(Near(at(2, 40), kColours[1])) << "left band";
        EXPECT_TRUE(Near(at(60, 2), kColours[1])) << "top band";
        EXPECT_TRUE(Near(at(60, 40), c.colour));
        EXPECT_TRUE(Near(at(105, 84), c.colour));
    };
    test_pipeline::Split(*pipeline, es, 480);
    EXPECT_EQ(shown, cases.size());
}

TEST(HevcDecode, ConversionIsRebuiltWhenThePictureSizeChanges) {
    Bytes es = Solid(320, 240, {kColours[0], kColours[1]});
    Append(es, Solid(176, 144, {kColours[2], kColours[3], kColours[4]}));
    Append(es, Solid(1920, 1080, {kColours[5]}));
    Append(es, Solid(320, 240, {kColours[6]}));
    const auto pictures = Decode(es);
    ASSERT_EQ(pictures.size(), 7u);
    const int sizes[7][2] = {{320, 240}, {320, 240}, {176, 144}, {176, 144},
                             {176, 144}, {1920, 1080}, {320, 240}};
    for (size_t i = 0; i < 7; ++i) ExpectSolid(pictures[i], sizes[i][0], sizes[i][1], kColours[i], i);
}

TEST(HevcDecode, ConversionIsRebuiltWhenOnlyThePixelFormatChanges) {
    Bytes deep;
    std::string error;
    if (!EncodeSolidPicturesAs("yuv420p10le", 320, 240, {kColours[2], kColours[3]}, deep, error)) {
        GTEST_SKIP() << "no 10-bit H.265 encoding here: " << error;
    }
    Bytes es = Solid(320, 240, {kColours[0], kColours[1]});
    Append(es, deep);
    Append(es, Solid(320, 240, {kColours[4]}));
    const auto pictures = Decode(es);
    ASSERT_EQ(pictures.size(), 5u);
    for (size_t i = 0; i < 5; ++i) ExpectSolid(pictures[i], 320, 240, kColours[i], i);
}

// Units go in one at a time, as the splitter hands them over; only a slice
// can complete a picture.
TEST(HevcDecode, ParameterSetsAndOtherNonSliceUnitsGiveNoPicture) {
    const Bytes es = Solid(320, 240, {kColours[0], kColours[1], kColours[2]});
    auto pipeline = test_pipeline::WithDecoder();
    test_pipeline::PictureLog log(*pipeline);
    int nonSlices = 0;
    for (const UnitSpan& span : FindUnits(es)) {
        const uint8_t* unit = es.data() + span.offset;
        const size_t before = log.pictures.size();
        pipeline->HandleNal(unit, static_cast<int32_t>(span.size));
        if (!IsSliceUnit(unit, span.size)) {
            ++nonSlices;
            EXPECT_EQ(log.pictures.size(), before) << "unit type " << UnitType(unit);
        }
    }
    EXPECT_GE(nonSlices, 3) << "VPS, SPS and PPS at least";
    EXPECT_EQ(log.pictures.size(), 3u);
}

TelemetryRecord Filled(uint8_t value) {
    TelemetryRecord record;
    std::fill(std::begin(record.bytes), std::end(record.bytes), value);
    return record;
}

Bytes TelemetryAt(const TelemetryRecord& record) { return BuildTelemetryUnit(record); }

// Pictures carry the record current when they are shown: zero before any
// telemetry, then the latest unit's even when two came before a picture.
TEST(HevcDecode, EachPictureCarriesTheLatestRecordBeforeIt) {
    const Bytes es = Solid(320, 240, {kColours[0], kColours[1], kColours[2]});
    Bytes stream;
    int slice = 0;
    for (const UnitSpan& span : FindUnits(es)) {
        const uint8_t* unit = es.data() + span.offset;
        if (StartsPicture(unit, span.size)) {
            if (slice == 1) {
                Append(stream, TelemetryAt(Filled(0x11)));
                Append(stream, TelemetryAt(Filled(0x22)));
            }
            if (slice == 2) Append(stream, TelemetryAt(Filled(0x33)));
            ++slice;
        }
        stream.insert(stream.end(), unit, unit + span.size);
    }
    const auto pictures = Decode(stream);
    ASSERT_EQ(pictures.size(), 3u);
    const uint8_t expected[3] = {0x00, 0x22, 0x33};
    for (size_t i = 0; i < 3; ++i) {
        const auto& bytes = pictures[i].record.bytes;
        EXPECT_EQ(Bytes(std::begin(bytes), std::end(bytes)), Bytes(kTelemetryRecordSize, expected[i]))
            << "picture " << i;
    }
}

// A decoder that failed to open leaves its handles null; the worker still
// hands over every unit, and they must be dropped without touching them.
TEST(HevcDecode, WithoutAnOpenDecoderUnitsAreDroppedAndTelemetryStillTaken) {
    Bytes stream = TelemetryAt(Filled(0x44));
    Append(stream, Solid(320, 240, {kColours[0], kColours[1]}));
    AppendEndOfBitstream(stream);
    auto pipeline = test_pipeline::Bare();
    ASSERT_EQ(pipeline->codecCtx, nullptr);
    test_pipeline::PictureLog log(*pipeline);
    test_pipeline::UnitLog units(*pipeline);
    test_pipeline::Split(*pipeline, stream, 480);
    EXPECT_GE(units.units.size(), 5u);
    EXPECT_TRUE(log.pictures.empty());
    EXPECT_EQ(pipeline->telemetry.bytes[0], 0x44);
}

}  // namespace
