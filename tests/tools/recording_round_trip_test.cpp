// Recordings made from real libx265 streams, read back by the player's own
// pipeline code: the stream, the records and the pictures come back whole.

#include <gtest/gtest.h>

#include <cstring>

#include "core/demux/annex_b.h"
#include "core/format/replay_pace.h"
#include "core/format/telemetry_unit.h"
#include "tests/support/encoded_pictures.h"
#include "tests/tools/support/tool_folder.h"
#include "lib/formats/telemetry_track.h"
#include "lib/making/pattern_encoder.h"
#include "lib/making/recording_builder.h"
#include "lib/making/stream_builder.h"
#include "lib/reading/recording_reader.h"

namespace {

constexpr int kPictures = 8;

const std::vector<uint8_t>& SmallStream() {
    static const std::vector<uint8_t> es = [] {
        PatternOptions o;
        o.width = 320;
        o.height = 240;
        o.frames = kPictures;
        o.keyint = 4;
        std::vector<uint8_t> out;
        std::string error;
        EXPECT_TRUE(EncodeTestPattern(o, out, error)) << error;
        return out;
    }();
    return es;
}

bool SameRecords(const std::vector<TelemetryRecord>& a, const std::vector<TelemetryRecord>& b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        if (std::memcmp(a[i].bytes, b[i].bytes, kTelemetryRecordSize) != 0) return false;
    }
    return true;
}

std::vector<uint8_t> HandedOverAndTail(const RecordingReport& r) {
    std::vector<uint8_t> all = r.elementaryStream;
    all.insert(all.end(), r.openTail.begin(), r.openTail.end());
    return all;
}

}  // namespace

TEST(PatternEncoding, StreamUsesOnlyFourByteStartCodesAndHasNoBFrames) {
    const std::vector<uint8_t>& es = SmallStream();
    ASSERT_FALSE(es.empty());
    EXPECT_EQ(ToFourByteStartCodes(es.data(), es.size()), es);
    EXPECT_EQ(CountPictures(es), static_cast<size_t>(kPictures));
    for (const UnitSpan& u : FindUnits(es)) {
        const int type = UnitType(es.data() + u.offset);
        EXPECT_TRUE(type == 1 || type == 19 || type == 20 || type == 21 || (type >= 32 && type <= 34))
            << "unexpected unit type " << type;
    }
}

TEST(AnnexB, ThreeByteStartCodesAndTrailingZerosAreNormalised) {
    const std::vector<uint8_t> mixed = {0x00, 0x00, 0x01, 0x40, 0x01, 0x0C, 0x00, 0x00, 0x00, 0x01,
                                        0x42, 0x01, 0x00, 0x00, 0x00, 0x01, 0x44, 0x01, 0x00};
    const std::vector<uint8_t> expected = {0x00, 0x00, 0x00, 0x01, 0x40, 0x01, 0x0C, 0x00, 0x00, 0x00,
                                           0x01, 0x42, 0x01, 0x00, 0x00, 0x00, 0x01, 0x44, 0x01};
    EXPECT_EQ(ToFourByteStartCodes(mixed.data(), mixed.size()), expected);
}

TEST(RecordingRoundTrip, StreamAndRecordsComeBackAtEveryPayloadAndChunkSize) {
    const std::vector<TelemetryRecord> records = FlightTrack(kPictures);
    for (int payloadSize : {1, 7, 479, 480}) {
        RecordingOptions options;
        options.payloadSize = payloadSize;
        std::vector<uint8_t> stream;
        LinkStats stats;
        const std::vector<uint8_t> recording =
            BuildRecording(SmallStream(), records, options, &stats, &stream);
        for (size_t chunk : {size_t(1), size_t(509), size_t(replay_pace::kChunkBytes)}) {
            ReadOptions read;
            read.chunkSize = chunk;
            const RecordingReport r = ReadRecordingBytes(recording, read);
            SCOPED_TRACE("payload " + std::to_string(payloadSize) + ", chunk " + std::to_string(chunk));
            EXPECT_EQ(HandedOverAndTail(r), stream);
            EXPECT_TRUE(SameRecords(r.records, records));
            EXPECT_EQ(r.linkFrames, stats.frames);
            EXPECT_EQ(r.linkFrames, (stream.size() + payloadSize - 1) / payloadSize);
            EXPECT_EQ(r.payloadBytes, stream.size());
            EXPECT_EQ(r.invalidFrames + r.sequenceBreaks, 0u);
            EXPECT_EQ(r.telemetryMarkerUnits, static_cast<uint64_t>(kPictures));
        }
    }
}

// Each picture is shown with the record written just before it.
TEST(RecordingRoundTrip, RealDecodeShowsEveryPictureWithItsOwnRecord) {
    const std::vector<TelemetryRecord> records = FlightTrack(kPictures);
    const std::vector<uint8_t> recording = BuildRecording(SmallStream(), records, RecordingOptions{});
    ReadOptions read;
    read.decode = true;
    std::vector<TelemetryRecord> shown;
    read.onPicture = [&shown](const ShownPicture& p) { shown.push_back(p.record); };
    const RecordingReport r = ReadRecordingBytes(recording, read);
    EXPECT_EQ(r.pictures, static_cast<uint64_t>(kPictures));
    for (const PictureSize& s : r.pictureSizes) EXPECT_EQ(s, (PictureSize{320, 240}));
    EXPECT_TRUE(SameRecords(shown, records));
}

TEST(RecordingRoundTrip, WithoutTheEndUnitTheLastPictureStaysInTheSplitter) {
    RecordingOptions options;
    options.endOfBitstream = false;
    ReadOptions read;
    read.decode = true;
    const RecordingReport r =
        ReadRecordingBytes(BuildRecording(SmallStream(), FlightTrack(kPictures), options), read);
    EXPECT_EQ(r.pictures, static_cast<uint64_t>(kPictures - 1));
    ASSERT_FALSE(r.openTail.empty());
    EXPECT_TRUE(StartsPicture(r.openTail.data(), r.openTail.size()));
}

TEST(RecordingRoundTrip, FullHdPicturesDecodeAtTheirSize) {
    PatternOptions o;
    o.frames = 3;
    std::vector<uint8_t> es;
    std::string error;
    ASSERT_TRUE(EncodeTestPattern(o, es, error)) << error;
    ReadOptions read;
    read.decode = true;
    const RecordingReport r = ReadRecordingBytes(BuildRecording(es, FlightTrack(3), RecordingOptions{}), read);
    EXPECT_EQ(r.pictures, 3u);
    for (const PictureSize& s : r.pictureSizes) EXPECT_EQ(s, (PictureSize{1920, 1080}));
    EXPECT_EQ(r.records.size(), 3u);
}

TEST(RecordingRoundTrip, SolidPicturesKeepTheirColours) {
    const std::vector<std::array<uint8_t, 3>> colours = {{200, 30, 30}, {30, 200, 30}, {30, 30, 200}};
    std::vector<uint8_t> es;
    std::string error;
    ASSERT_TRUE(EncodeSolidPictures(64, 48, colours, es, error)) << error;
    ReadOptions read;
    read.decode = true;
    std::vector<std::array<int, 3>> centres;
    read.onPicture = [&centres](const ShownPicture& picture) {
        const int w = picture.width;
        const uint8_t* p = picture.rgb + (static_cast<size_t>(picture.height / 2) * w + w / 2) * 3;
        centres.push_back({p[0], p[1], p[2]});
    };
    ReadRecordingBytes(BuildRecording(es, {}, RecordingOptions{}), read);
    ASSERT_EQ(centres.size(), colours.size());
    for (size_t i = 0; i < colours.size(); ++i) {
        for (int c = 0; c < 3; ++c) EXPECT_NEAR(centres[i][c], colours[i][c], 6) << "picture " << i;
    }
}

// Filler keeps the stream at the link rate picture by picture, and the
// decoder passes over it.
TEST(RateFiller, StreamKeepsPaceAndStillDecodes) {
    const uint64_t rate = 100000;  // 4000 bytes a picture at 25 pictures a second
    const std::vector<uint8_t> paced =
        PadToByteRate(InterleaveTelemetry(SmallStream(), FlightTrack(kPictures)), 25, rate);
    size_t picture = 0;
    size_t fillers = 0;
    for (const UnitSpan& u : FindUnits(paced)) {
        const uint8_t* unit = paced.data() + u.offset;
        if (UnitType(unit) == 38 && !telemetry_unit::IsTelemetryUnit(unit, u.size)) ++fillers;
        // Everything before picture n's telemetry unit is due by picture n - 1's end.
        if (telemetry_unit::IsTelemetryUnit(unit, u.size) && picture++ > 0) {
            EXPECT_GE(u.offset, (picture - 1) * 4000) << "picture " << picture;
        }
    }
    EXPECT_GE(paced.size(), kPictures * 4000u);
    EXPECT_LT(paced.size(), kPictures * 4000u + 2 * SmallStream().size() / kPictures + 4000);
    EXPECT_GT(fillers, 0u);

    std::vector<uint8_t> closed = paced;
    AppendEndOfBitstream(closed);
    ReadOptions read;
    read.decode = true;
    const RecordingReport r = ReadRecordingBytes(FrameLink(closed, 480, Impairments{}), read);
    EXPECT_EQ(r.pictures, static_cast<uint64_t>(kPictures));
    EXPECT_EQ(r.unitsByType.at(38), fillers);
}

TEST(RateFiller, FillerUnitsHaveTheAskedSizeAndNoStartCodeInside) {
    for (size_t size : {kMinFillerUnit, size_t(8), size_t(1000)}) {
        const std::vector<uint8_t> unit = BuildFillerUnit(size);
        ASSERT_EQ(unit.size(), size);
        EXPECT_EQ(UnitType(unit.data()), 38);
        EXPECT_EQ(FindUnits(unit).size(), 1u);
        EXPECT_EQ(unit.back(), 0x80);
    }
}
