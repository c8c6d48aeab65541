// Pictures coded in several slices reach the decoder whole, single-slice
// streams keep going unit by unit, and an end unit lets out the pictures the
// decoder holds back. Real streams from libx265, checked picture by picture
// against the ffmpeg program's decode of the same units.

#include <gtest/gtest.h>

#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <string>

extern "C" {
#include <libavutil/log.h>
}

#include "core/demux/annex_b.h"
#include "tests/support/pipeline_harness.h"
#include "tests/support/reference_decoder.h"
#include "lib/making/pattern_encoder.h"
#include "lib/making/stream_builder.h"
#include "lib/making/telemetry_unit_writer.h"

namespace {

using test_pipeline::Bytes;

// A picture decoded whole differs from ffmpeg's only by rounding; a slice
// decoded apart leaves a band of the decoder's uninitialised green.
constexpr double kSameBand = 2.0;
constexpr int kBands = 8;

// The decoder's error messages while a test decodes.
class DecoderErrors {
public:
    DecoderErrors() {
        messages_.clear();
        av_log_set_callback(&Collect);
    }
    ~DecoderErrors() { av_log_set_callback(av_log_default_callback); }
    const std::vector<std::string>& Messages() const { return messages_; }

private:
    static void Collect(void*, int level, const char* format, va_list args) {
        if (level > AV_LOG_ERROR) return;
        char text[512];
        std::vsnprintf(text, sizeof text, format, args);
        messages_.emplace_back(text);
    }
    static inline std::vector<std::string> messages_;
};

struct Shown {
    Bytes rgb;
    TelemetryRecord record;
    bool wholePictures;  // the mode when it was shown
};

// Every picture `pipeline` shows goes to `shown`, with the mode it was in.
void RecordShown(DecodeData& pipeline, std::vector<Shown>& shown) {
    DecodeData* p = &pipeline;
    pipeline.onPicture = [&shown, p](const ShownPicture& picture) {
        const size_t bytes = size_t(picture.width) * picture.height * 3;
        shown.push_back({Bytes(picture.rgb, picture.rgb + bytes), picture.record, p->assembly.WholePictures()});
    };
}

// The stream fed to a decoder-fed pipeline in link-payload-sized pieces.
std::vector<Shown> Play(const Bytes& es) {
    auto pipeline = test_pipeline::WithDecoder();
    std::vector<Shown> shown;
    RecordShown(*pipeline, shown);
    test_pipeline::Split(*pipeline, es, 480);
    return shown;
}

Bytes Encode(PatternOptions options) {
    Bytes es;
    std::string error;
    EXPECT_TRUE(EncodeTestPattern(options, es, error)) << error;
    return es;
}

PatternOptions Pattern(int width, int height, int frames, int slices) {
    PatternOptions o;
    o.width = width;
    o.height = height;
    o.frames = frames;
    o.slices = slices;
    return o;
}

// A unit behind the last one, so that the splitter hands the last one over.
Bytes ClosedByFiller(Bytes es) {
    const Bytes filler = BuildFillerUnit(kMinFillerUnit);
    es.insert(es.end(), filler.begin(), filler.end());
    return es;
}

Bytes ClosedByEndUnit(Bytes es) {
    AppendEndOfBitstream(es);
    return es;
}

// Shown picture i against ffmpeg's picture `first + i`, band by band.
void ExpectSameAsFfmpeg(const std::vector<Shown>& shown, const std::vector<Bytes>& reference, int width,
                        int height, size_t first = 0) {
    ASSERT_LE(first + shown.size(), reference.size());
    for (size_t i = 0; i < shown.size(); ++i) {
        EXPECT_LT(WorstBandDifference(shown[i].rgb.data(), reference[first + i].data(), width, height, kBands),
                  kSameBand)
            << "picture " << i + 1;
    }
}

struct StreamCase {
    const char* name;
    int width, height, frames, slices, bframes;
    const char* pixelFormat;
    bool endUnit;
};

void PrintTo(const StreamCase& c, std::ostream* os) { *os << c.name; }

class WholePictures : public ::testing::TestWithParam<StreamCase> {};

// Every picture shown whole and in order, with no complaint from the
// decoder; the mode is whole-picture exactly for the streams of several
// slices. Without an end unit, pictures held back for reordering stay in the
// decoder, as they always did.
TEST_P(WholePictures, EveryPictureMatchesFfmpegsDecode) {
    const StreamCase c = GetParam();
    PatternOptions options = Pattern(c.width, c.height, c.frames, c.slices);
    options.bframes = c.bframes;
    options.pixelFormat = c.pixelFormat;
    const Bytes es = Encode(options);
    const Bytes stream = c.endUnit ? ClosedByEndUnit(es) : ClosedByFiller(es);
    std::string error;
    const std::vector<Bytes> reference = DecodeWithFfmpeg(stream, c.width, c.height, error);
    ASSERT_EQ(reference.size(), size_t(c.frames)) << error;

    DecoderErrors errors;
    const std::vector<Shown> shown = Play(stream);
    EXPECT_TRUE(errors.Messages().empty()) << errors.Messages().front();
    if (c.endUnit || c.bframes == 0) {
        EXPECT_EQ(shown.size(), size_t(c.frames));
    } else {
        EXPECT_LT(shown.size(), size_t(c.frames)) << "held back for reordering";
        EXPECT_GT(shown.size(), size_t(c.frames - c.bframes - 2));
    }
    ExpectSameAsFfmpeg(shown, reference, c.width, c.height);
    for (size_t i = 0; i < shown.size(); ++i) {
        EXPECT_EQ(shown[i].wholePictures, c.slices > 1) << "picture " << i + 1;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Streams, WholePictures,
    ::testing::Values(
        StreamCase{"FourSlices10BitFullHd", 1920, 1080, 6, 4, 0, "yuv420p10le", true},
        StreamCase{"TwoSlices8Bit720p", 1280, 720, 8, 2, 0, "yuv420p", true},
        StreamCase{"FourSlices720pBFramesEndUnit", 1280, 720, 10, 4, 3, "yuv420p", true},
        StreamCase{"FourSlices720pBFramesNoEndUnit", 1280, 720, 10, 4, 3, "yuv420p", false},
        StreamCase{"OneSliceBFramesEndUnit", 640, 360, 12, 1, 3, "yuv420p", true},
        StreamCase{"OneSliceBFramesNoEndUnit", 640, 360, 12, 1, 3, "yuv420p", false},
        StreamCase{"TwoSlices10Bit720pBFramesEndUnit", 1280, 720, 8, 2, 2, "yuv420p10le", true}),
    [](const ::testing::TestParamInfo<StreamCase>& info) { return std::string(info.param.name); });

TelemetryRecord RecordFor(int picture) {
    TelemetryRecord record{};
    for (size_t i = 0; i < kTelemetryRecordSize; ++i) record.bytes[i] = static_cast<uint8_t>(picture * 37 + i);
    return record;
}

// The record shown with a picture is the one current when its first slice
// came, although a whole picture is decoded only once the next picture's
// telemetry unit has been taken.
TEST(WholePictureTelemetry, EachPictureCarriesTheRecordSentBeforeIt) {
    constexpr int kFrames = 8;
    std::vector<TelemetryRecord> records;
    for (int i = 0; i < kFrames; ++i) records.push_back(RecordFor(i + 1));
    for (const int slices : {1, 4}) {
        const Bytes stream = ClosedByEndUnit(InterleaveTelemetry(Encode(Pattern(640, 360, kFrames, slices)), records));
        const std::vector<Shown> shown = Play(stream);
        ASSERT_EQ(shown.size(), size_t(kFrames)) << slices << " slices";
        for (int i = 0; i < kFrames; ++i) {
            EXPECT_EQ(0, std::memcmp(shown[i].record.bytes, records[i].bytes, kTelemetryRecordSize))
                << slices << " slices, picture " << i + 1;
        }
    }
}

// A stream that turns from four slices a picture to one goes back to units
// one by one, without losing a picture, after a run of single-slice pictures.
TEST(WholePictureMode, IsLeftAfterARunOfSingleSlicePictures) {
    constexpr int kMulti = 5;
    constexpr int kSingle = PictureAssembler::kSingleSlicePicturesToLeave + 10;
    Bytes es = Encode(Pattern(320, 240, kMulti, 4));
    const Bytes single = Encode(Pattern(320, 240, kSingle, 1));
    es.insert(es.end(), single.begin(), single.end());
    const Bytes stream = ClosedByEndUnit(es);
    std::string error;
    const std::vector<Bytes> reference = DecodeWithFfmpeg(stream, 320, 240, error);
    ASSERT_EQ(reference.size(), size_t(kMulti + kSingle)) << error;

    const std::vector<Shown> shown = Play(stream);
    ASSERT_EQ(shown.size(), reference.size());
    ExpectSameAsFfmpeg(shown, reference, 320, 240);
    // The run's own pictures still come out as whole access units; the
    // first picture after it goes on its own.
    const size_t wholeAccessUnits = kMulti + PictureAssembler::kSingleSlicePicturesToLeave;
    for (size_t i = 0; i < shown.size(); ++i) {
        EXPECT_EQ(shown[i].wholePictures, i < wholeAccessUnits) << "picture " << i + 1;
    }
}

// One damaged header must not flip the mode: a first slice whose flag was
// knocked off in a single-slice stream is no evidence of several slices, and
// a picture of a four-slice stream that looks like one slice or two
// pictures does not end whole-picture mode. Every picture is a key picture,
// so the damage stays in the picture it hit.
// In a single-slice stream a picture is closed by the telemetry unit or the
// parameter sets in front of the next one; each must do it on its own.
struct Damage {
    const char* name;
    int slices;
    int keyint;      // parameter sets before every keyint-th picture
    bool telemetry;  // a telemetry unit before every picture
    void (*apply)(Bytes& es, size_t picture);
};

std::vector<UnitSpan> SlicesOf(const Bytes& es, size_t picture) {
    std::vector<UnitSpan> slices;
    size_t seen = 0;
    for (const UnitSpan& u : FindUnits(es)) {
        if (StartsPicture(es.data() + u.offset, u.size)) ++seen;
        if (seen == picture + 1 && IsSliceUnit(es.data() + u.offset, u.size)) slices.push_back(u);
    }
    return slices;
}

void FlipFirstSliceFlag(Bytes& es, const UnitSpan& slice) { es[slice.offset + 6] ^= 0x80; }

void ClearFirstSliceFlag(Bytes& es, size_t picture) { FlipFirstSliceFlag(es, SlicesOf(es, picture)[0]); }

const Damage kDamages[] = {
    {"FirstSliceFlagClearedInASingleSliceStream", 1, 1, true, ClearFirstSliceFlag},
    {"FirstSliceFlagClearedBehindTelemetryOnly", 1, 5, true, ClearFirstSliceFlag},
    {"FirstSliceFlagClearedBehindParameterSetsOnly", 1, 1, false, ClearFirstSliceFlag},
    {"ContinuationTakenForAFirstSlice", 4, 1, true,
     [](Bytes& es, size_t picture) { FlipFirstSliceFlag(es, SlicesOf(es, picture)[2]); }},
    {"ThreeSlicesLost", 4, 1, true,
     [](Bytes& es, size_t picture) {
         const std::vector<UnitSpan> s = SlicesOf(es, picture);
         es.erase(es.begin() + long(s[1].offset), es.begin() + long(s[3].offset + s[3].size));
     }},
};

TEST(WholePictureMode, OneDamagedPictureDoesNotFlipTheMode) {
    constexpr int kFrames = 10;
    constexpr size_t kHit = 4;
    std::vector<TelemetryRecord> records;
    for (int i = 0; i < kFrames; ++i) records.push_back(RecordFor(i + 1));
    for (const Damage& damage : kDamages) {
        PatternOptions options = Pattern(320, 240, kFrames, damage.slices);
        options.keyint = damage.keyint;
        const Bytes es = Encode(options);
        const Bytes clean = ClosedByEndUnit(damage.telemetry ? InterleaveTelemetry(es, records) : es);
        std::string error;
        const std::vector<Bytes> reference = DecodeWithFfmpeg(clean, 320, 240, error);
        ASSERT_EQ(reference.size(), size_t(kFrames)) << error;
        Bytes damaged = clean;
        damage.apply(damaged, kHit);

        const std::vector<Shown> shown = Play(damaged);
        ASSERT_GE(shown.size(), size_t(kFrames - 1)) << damage.name;
        for (const Shown& s : shown) EXPECT_EQ(s.wholePictures, damage.slices > 1) << damage.name;
        // Pictures before the damage, and the last ones (behind the next key
        // picture), are as sent.
        ExpectSameAsFfmpeg(std::vector<Shown>(shown.begin(), shown.begin() + kHit), reference, 320, 240);
        const std::vector<Shown> tail(shown.end() - 3, shown.end());
        ExpectSameAsFfmpeg(tail, reference, 320, 240, kFrames - 3);
    }
}

// Filler behind a first slice hides that the slice after it continues the
// picture, so that picture goes to the decoder slice by slice. The mode
// starts with the next picture, and every picture from there on is whole.
TEST(WholePictureMode, StartsWithTheNextPictureWhenFillerHidesTheSecondSlice) {
    constexpr int kFrames = 6;
    PatternOptions options = Pattern(320, 240, kFrames, 4);
    options.keyint = 1;  // the first picture's damage stays in it
    const Bytes es = Encode(options);
    Bytes stream;
    const Bytes filler = BuildFillerUnit(kMinFillerUnit);
    for (const UnitSpan& u : FindUnits(es)) {
        const uint8_t* unit = es.data() + u.offset;
        stream.insert(stream.end(), unit, unit + u.size);
        if (StartsPicture(unit, u.size) && IsSliceUnit(unit, u.size)) {
            stream.insert(stream.end(), filler.begin(), filler.end());
        }
    }
    const Bytes closed = ClosedByEndUnit(stream);
    std::string error;
    const std::vector<Bytes> reference = DecodeWithFfmpeg(closed, 320, 240, error);
    ASSERT_EQ(reference.size(), size_t(kFrames)) << error;

    const std::vector<Shown> shown = Play(closed);
    ASSERT_EQ(shown.size(), size_t(kFrames));
    for (size_t i = 0; i < shown.size(); ++i) EXPECT_EQ(shown[i].wholePictures, i > 0) << "picture " << i + 1;
    ExpectSameAsFfmpeg(std::vector<Shown>(shown.begin() + 1, shown.end()), reference, 320, 240, 1);
}

// One picture of several slices inside a run of single-slice pictures starts
// the run again: the mode is left only after 50 single-slice pictures in a row.
TEST(WholePictureMode, APictureOfSeveralSlicesStartsTheRunAgain) {
    constexpr int kRun = PictureAssembler::kSingleSlicePicturesToLeave - 1;
    Bytes es;
    for (const auto& [frames, slices] : {std::pair{3, 4}, {kRun, 1}, {1, 4}, {kRun, 1}}) {
        const Bytes part = Encode(Pattern(160, 96, frames, slices));
        es.insert(es.end(), part.begin(), part.end());
    }
    const std::vector<Shown> shown = Play(ClosedByEndUnit(es));
    ASSERT_EQ(shown.size(), size_t(3 + kRun + 1 + kRun));
    for (size_t i = 0; i < shown.size(); ++i) EXPECT_TRUE(shown[i].wholePictures) << "picture " << i + 1;
}

// New parameter sets in whole-picture mode go to the decoder with the
// picture they open: a stream of another size is shown at its own size.
TEST(WholePictureMode, ShowsAStreamOfAnotherSizeWhole) {
    constexpr int kFrames = 4;
    const Bytes small = ClosedByEndUnit(Encode(Pattern(320, 240, kFrames, 4)));
    const Bytes large = ClosedByEndUnit(Encode(Pattern(640, 360, kFrames, 4)));
    std::string error;
    const std::vector<Bytes> smallReference = DecodeWithFfmpeg(small, 320, 240, error);
    const std::vector<Bytes> largeReference = DecodeWithFfmpeg(large, 640, 360, error);
    ASSERT_EQ(smallReference.size() + largeReference.size(), size_t(2 * kFrames)) << error;

    Bytes both = small;
    both.insert(both.end(), large.begin(), large.end());
    const std::vector<Shown> shown = Play(both);
    ASSERT_EQ(shown.size(), size_t(2 * kFrames));
    ASSERT_EQ(shown[kFrames].rgb.size(), size_t(640) * 360 * 3);
    ExpectSameAsFfmpeg(std::vector<Shown>(shown.begin(), shown.begin() + kFrames), smallReference, 320, 240);
    ExpectSameAsFfmpeg(std::vector<Shown>(shown.begin() + kFrames, shown.end()), largeReference, 640, 360);
    for (const Shown& s : shown) EXPECT_TRUE(s.wholePictures);
}

// After an end unit the decoder starts afresh: a second stream of several
// slices and B-frames behind the first is shown whole and complete, whichever
// end unit closes each.
TEST(WholePictureMode, GoesOnAfterEachEndUnit) {
    constexpr int kFrames = 8;
    const Bytes endOfSequence = test_pipeline::Unit({0x48, 0x01});
    const Bytes endOfBitstream = test_pipeline::Unit({0x4A, 0x01});
    PatternOptions options = Pattern(320, 240, kFrames, 4);
    options.bframes = 2;
    const Bytes es = Encode(options);
    for (const Bytes* endUnit : {&endOfSequence, &endOfBitstream}) {
        Bytes stream;
        for (int copy = 0; copy < 2; ++copy) {
            stream.insert(stream.end(), es.begin(), es.end());
            stream.insert(stream.end(), endUnit->begin(), endUnit->end());
        }
        const Bytes closed = ClosedByFiller(stream);
        std::string error;
        const std::vector<Bytes> reference = DecodeWithFfmpeg(closed, 320, 240, error);
        ASSERT_EQ(reference.size(), size_t(2 * kFrames)) << error;

        DecoderErrors errors;
        const std::vector<Shown> shown = Play(closed);
        EXPECT_TRUE(errors.Messages().empty()) << errors.Messages().front();
        ASSERT_EQ(shown.size(), reference.size()) << "end unit type " << ((*endUnit)[4] >> 1);
        ExpectSameAsFfmpeg(shown, reference, 320, 240);
        for (const Shown& s : shown) EXPECT_TRUE(s.wholePictures);
    }
}

// Continuation slices that never close their access unit are link garbage:
// the parser drops them once they pass its bound instead of growing with
// them. The ones after the drop join no picture and are left out, so the
// stream after them is shown whole, its key picture included.
TEST(WholePictureMode, DropsAnAccessUnitThatOutgrowsTheBound) {
    constexpr int kFrames = 4;
    const Bytes es = Encode(Pattern(320, 240, kFrames, 4));
    auto pipeline = test_pipeline::WithDecoder();
    std::vector<Shown> shown;
    RecordShown(*pipeline, shown);
    test_pipeline::Split(*pipeline, es, 480);
    ASSERT_TRUE(pipeline->assembly.WholePictures());

    // A trailing picture's slice segment, not the first of its picture.
    Bytes continuation = test_pipeline::Unit({0x02, 0x01, 0x00});
    continuation.resize(7'000'000, 0x55);
    for (int i = 0; i < 6; ++i) {
        test_pipeline::Split(*pipeline, continuation, 480);
        ASSERT_LE(pipeline->assembly.ParserPendingBytes(), PictureAssembler::kMaxAccessUnitBytes) << "unit " << i + 1;
    }
    shown.clear();
    const Bytes clean = ClosedByEndUnit(es);
    test_pipeline::Split(*pipeline, clean, 480);
    std::string error;
    const std::vector<Bytes> reference = DecodeWithFfmpeg(clean, 320, 240, error);
    ASSERT_EQ(reference.size(), size_t(kFrames)) << error;
    ASSERT_EQ(shown.size(), reference.size());
    ExpectSameAsFfmpeg(shown, reference, 320, 240);
    for (const Shown& s : shown) EXPECT_TRUE(s.wholePictures);
}

}  // namespace
