// Pictures shown whole, the decoder's error messages and slices per picture,
// as the reader reports them for real libx265 streams, clean and damaged.

#include <gtest/gtest.h>

#include <sstream>

#include "core/demux/annex_b.h"
#include "lib/formats/telemetry_track.h"
#include "lib/making/pattern_encoder.h"
#include "lib/making/recording_builder.h"
#include "lib/making/stream_builder.h"
#include "lib/reading/recording_reader.h"
#include "lib/reading/recording_summary.h"

namespace {

constexpr uint64_t kPictures = 8;

std::vector<uint8_t> Encode(int slices, int bframes) {
    PatternOptions o;
    o.width = 320;
    o.height = 240;
    o.frames = kPictures;
    o.slices = slices;
    o.bframes = bframes;
    std::vector<uint8_t> es;
    std::string error;
    EXPECT_TRUE(EncodeTestPattern(o, es, error)) << error;
    return es;
}

// The stream with the first slice of `picture` (from 1) dropped, or followed
// by filler: filler hides that the next slice continues the picture, so the
// pipeline sends the first slice on its own.
std::vector<uint8_t> Damage(const std::vector<uint8_t>& es, int picture, bool dropFirst) {
    std::vector<uint8_t> out;
    int opened = 0;
    for (const UnitSpan& u : FindUnits(es)) {
        const uint8_t* unit = es.data() + u.offset;
        const bool damaged = StartsPicture(unit, u.size) && ++opened == picture;
        if (!(damaged && dropFirst)) out.insert(out.end(), unit, unit + u.size);
        if (damaged && !dropFirst) {
            const std::vector<uint8_t> filler = BuildFillerUnit(16);
            out.insert(out.end(), filler.begin(), filler.end());
        }
    }
    return out;
}

RecordingReport Decode(const std::vector<uint8_t>& es) {
    ReadOptions read;
    read.decode = true;
    return ReadRecordingBytes(BuildRecording(es, {}, RecordingOptions{}), read);
}

}  // namespace

TEST(DecoderReport, CleanStreamsShowEveryPictureWholeWithItsSlices) {
    for (const auto& [slices, bframes] : {std::pair{1, 0}, {4, 0}, {4, 2}}) {
        SCOPED_TRACE(std::to_string(slices) + " slices, " + std::to_string(bframes) + " B-frames");
        const RecordingReport r = Decode(Encode(slices, bframes));
        EXPECT_EQ(r.pictures, kPictures);
        EXPECT_EQ(r.wholePictures, kPictures);
        EXPECT_TRUE(r.decoderErrors.empty()) << r.decoderErrors.begin()->first;
        EXPECT_EQ(r.slicesPerPicture, (std::map<int, uint64_t>{{slices, kPictures}}));
    }
}

// Exactly the picture the decoder complained about is not whole, even when
// the complaints come after it was shown (the filler case).
TEST(DecoderReport, ADamagedPictureDrawsErrorsAndIsNotWhole) {
    const std::vector<uint8_t> es = Encode(4, 0);
    const struct {
        int picture;
        bool dropFirst;
        uint64_t shown;
        uint64_t orphans;  // only picture 1's other slices have no picture before them
    } cases[] = {{1, true, kPictures - 1, 3}, {3, true, kPictures - 1, 0}, {1, false, kPictures, 0}};
    for (const auto& c : cases) {
        SCOPED_TRACE("picture " + std::to_string(c.picture) +
                     (c.dropFirst ? " without its first slice" : " with filler after its first slice"));
        const RecordingReport r = Decode(Damage(es, c.picture, c.dropFirst));
        EXPECT_FALSE(r.decoderErrors.empty());
        EXPECT_EQ(r.pictures, c.shown);
        EXPECT_EQ(r.wholePictures, c.shown - 1);
        EXPECT_EQ(r.orphanSlices, c.orphans);
    }
}

TEST(DecoderReport, SummaryListsTheTenMostFrequentMessages) {
    RecordingReport r;
    r.slicesPerPicture = {{4, 40}, {1, 1}};
    for (int i = 0; i < 12; ++i) r.decoderErrors["message " + std::to_string(i)] = i == 5 ? 150 : 1;
    std::ostringstream out;
    WriteSummary(out, "rec.dat", r, true);
    EXPECT_NE(out.str().find("slices per picture: 1 (1 picture), 4 (40 pictures)\n"
                             "decoder errors:   161\n  150 x message 5\n  1 x message 0\n"),
              std::string::npos) << out.str();
    EXPECT_NE(out.str().find("  1 x message 7\n  ... and 2 other messages (2 in all)\n"), std::string::npos);
}

// Decoder threads change when a picture reaches the reader, never what the
// read reports: the same pictures with the same tags and records, the same
// messages blamed on the same pictures, also for damaged and reordered
// streams and for streams whose end unit is missing.
TEST(DecoderReport, ThreadsReportExactlyWhatOneThreadReports) {
    std::vector<TelemetryRecord> records;
    for (const TelemetrySample& s : GenerateFlightPath(int(kPictures))) {
        TelemetryRecord r{};
        std::string error;
        ASSERT_TRUE(EncodeRecord(s, r, error)) << error;
        records.push_back(r);
    }
    struct Case {
        const char* name;
        int slices, bframes;
        bool endUnit;
        double bitFlipRate, dropRate;
        bool decoderErrors;  // the damage reaches the decoder
        // Filler up to the link's byte rate, one unit a picture: threads are
        // given only the filler whose header the damage reached.
        uint64_t padToBytesPerSecond = 0;
    };
    const Case cases[] = {
        {"clean", 1, 0, true, 0, 0, false},
        {"clean, no end unit", 1, 0, false, 0, 0, false},
        {"B-frames, no end unit", 1, 3, false, 0, 0, false},
        {"four slices with drops, no end unit", 4, 0, false, 0, 0.01, false},
        {"B-frames with bit flips", 1, 3, true, 0.01, 0, true},
        {"four slices and B-frames with bit flips", 4, 2, true, 0.004, 0, true},
        {"padded, B-frames, no end unit", 1, 3, false, 0, 0, false, 480000},
        {"padded, bit flips in the filler", 1, 0, true, 0.003, 0, false, 480000},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        RecordingOptions options;
        options.endOfBitstream = c.endUnit;
        options.impairments.seed = 7;
        options.impairments.bitFlipRate = c.bitFlipRate;
        options.impairments.dropRate = c.dropRate;
        options.targetBytesPerSecond = c.padToBytesPerSecond;
        const std::vector<uint8_t> recording = BuildRecording(Encode(c.slices, c.bframes), records, options);
        RecordingReport byThreads[2];
        std::vector<std::vector<uint8_t>> shownRecords[2];
        for (int threads : {0, 1}) {
            ReadOptions read;
            read.decode = true;
            read.decoderThreads = threads == 0 ? 1 : 3;
            auto& shown = shownRecords[threads];
            read.onPicture = [&shown](const ShownPicture& p) {
                shown.emplace_back(p.record.bytes, p.record.bytes + sizeof p.record.bytes);
            };
            read.pixelsWanted = [] { return false; };
            byThreads[threads] = ReadRecordingBytes(recording, read);
        }
        const RecordingReport& one = byThreads[0];
        const RecordingReport& three = byThreads[1];
        EXPECT_GT(one.pictures, 0u);
        EXPECT_EQ(!one.decoderErrors.empty(), c.decoderErrors);
        EXPECT_EQ(three.pictures, one.pictures);
        EXPECT_EQ(three.shownTags, one.shownTags);
        EXPECT_EQ(shownRecords[1], shownRecords[0]);
        EXPECT_EQ(three.decoderErrors, one.decoderErrors);
        EXPECT_EQ(three.wholePictures, one.wholePictures);
    }
}
