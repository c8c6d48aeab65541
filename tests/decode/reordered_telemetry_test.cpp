// Pictures that the encoder reorders (B-frames, open GOP) are shown with the
// record sent before their own first slice, however late the decoder lets
// them out. Each picture spells its number in its pixels, a row of dark and
// light bars; the record sent with it carries the same number, placed by the
// encoder's own stream order. The ffmpeg program's decode of the same units
// gives the order the pictures must be shown in.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <numeric>
#include <string>

#include "tests/support/marked_streams.h"
#include "tests/support/pipeline_harness.h"
#include "tests/support/reference_decoder.h"
#include "lib/making/pattern_encoder.h"
#include "lib/making/stream_builder.h"
#include "lib/making/telemetry_unit_writer.h"

namespace {

using test_pipeline::Bytes;

constexpr int kBits = 6;  // pictures numbered 0 to 63
constexpr uint8_t kDark = 16;
constexpr uint8_t kLight = 235;

void DrawNumber(int number, int width, int height, uint8_t* rgb) {
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const int bit = x * kBits / width;
            uint8_t* p = rgb + (size_t(y) * width + x) * 3;
            p[0] = p[1] = p[2] = (number >> bit & 1) ? kLight : kDark;
        }
    }
}

// Read in the middle of each bar, far from the coding's edges.
int NumberOf(const Bytes& rgb, int width, int height) {
    int number = 0;
    for (int bit = 0; bit < kBits; ++bit) {
        const int x = (2 * bit + 1) * width / (2 * kBits);
        if (rgb[(size_t(height / 2) * width + x) * 3 + 1] > (kDark + kLight) / 2) number |= 1 << bit;
    }
    return number;
}

int MarkerOf(const TelemetryRecord& record) { return int(std::lround(DecodeTelemetry(record).height)); }

struct ReorderCase {
    const char* name;
    bool openGop;
    int slices;
    bool accessUnitDelimiters;
    bool endUnit;
};

void PrintTo(const ReorderCase& c, std::ostream* os) { *os << c.name; }

struct Size {
    int width;
    int height;
};

// Pictures numbered from `first` by libx265 with three B-frames and a key
// picture every 12: the units the decoder gets, and the same with a record
// marked with each picture's number before its first slice.
struct NumberedStream {
    Bytes units;
    Bytes withRecords;
};

NumberedStream EncodeNumbered(const ReorderCase& c, Size size, int frames, int first) {
    PatternOptions o;
    o.width = size.width;
    o.height = size.height;
    o.frames = frames;
    o.keyint = 12;
    o.bframes = 3;
    o.slices = c.slices;
    o.openGop = c.openGop;
    o.accessUnitDelimiters = c.accessUnitDelimiters;
    Bytes es;
    std::string error;
    std::vector<int> streamOrder;
    const auto draw = [first](int i, int w, int h, uint8_t* rgb) { DrawNumber(first + i, w, h, rgb); };
    EXPECT_TRUE(EncodePictures(o, draw, es, error, &streamOrder)) << error;
    EXPECT_FALSE(std::is_sorted(streamOrder.begin(), streamOrder.end())) << "the encoder reordered nothing";
    std::vector<TelemetryRecord> records;
    for (const int picture : streamOrder) records.push_back(MarkedRecord(first + picture));
    return {es, InterleaveTelemetry(es, records)};
}

Bytes Closed(Bytes stream, bool endUnit) {
    if (endUnit) {
        AppendEndOfBitstream(stream);
    } else {
        // Only a unit behind it lets the splitter hand the last one over.
        const Bytes filler = BuildFillerUnit(kMinFillerUnit);
        stream.insert(stream.end(), filler.begin(), filler.end());
    }
    return stream;
}

// The numbers of the pictures ffmpeg shows, in its order.
std::vector<int> ShownByFfmpeg(const Bytes& stream, Size size) {
    std::string error;
    std::vector<int> numbers;
    for (const Bytes& picture : DecodeWithFfmpeg(stream, size.width, size.height, error)) {
        numbers.push_back(NumberOf(picture, size.width, size.height));
    }
    EXPECT_FALSE(numbers.empty()) << error;
    return numbers;
}

struct Shown {
    int number;
    int marker;
};

std::vector<Shown> Play(const Bytes& stream) {
    auto pipeline = test_pipeline::WithDecoder();
    std::vector<Shown> shown;
    pipeline->onPicture = [&shown](const ShownPicture& p) {
        shown.push_back({NumberOf(Bytes(p.rgb, p.rgb + size_t(p.width) * p.height * 3), p.width, p.height),
                         MarkerOf(p.record)});
    };
    test_pipeline::Split(*pipeline, stream, 480);
    return shown;
}

// Shown in ffmpeg's order, each with its own record.
void ExpectOwnRecordsInFfmpegsOrder(const std::vector<Shown>& shown, const std::vector<int>& reference) {
    ASSERT_LE(shown.size(), reference.size());
    for (size_t i = 0; i < shown.size(); ++i) {
        EXPECT_EQ(shown[i].number, reference[i]) << "picture " << i + 1 << " out of order";
        EXPECT_EQ(shown[i].marker, shown[i].number) << "picture " << i + 1 << " shown with another's record";
    }
}

class ReorderedPictures : public ::testing::TestWithParam<ReorderCase> {};

// Without an end unit the pictures held back for reordering stay in the
// decoder; those shown still carry their own records.
TEST_P(ReorderedPictures, EachIsShownWithTheRecordSentBeforeItsFirstSlice) {
    const ReorderCase c = GetParam();
    constexpr int kFrames = 26;
    constexpr Size kSize{384, 128};
    const NumberedStream stream = EncodeNumbered(c, kSize, kFrames, 0);
    std::vector<int> inOrder(kFrames);
    std::iota(inOrder.begin(), inOrder.end(), 0);
    const std::vector<int> reference = ShownByFfmpeg(Closed(stream.units, true), kSize);
    ASSERT_EQ(reference, inOrder) << "the pictures' numbers do not survive the coding";

    const std::vector<Shown> shown = Play(Closed(stream.withRecords, c.endUnit));
    if (c.endUnit) {
        EXPECT_EQ(shown.size(), size_t(kFrames));
    } else {
        EXPECT_LT(shown.size(), size_t(kFrames)) << "held back for reordering";
        EXPECT_GT(shown.size(), size_t(kFrames - 5));
    }
    ExpectOwnRecordsInFfmpegsOrder(shown, reference);
}

INSTANTIATE_TEST_SUITE_P(
    Streams, ReorderedPictures,
    ::testing::Values(ReorderCase{"OpenGopOneSliceDelimitersEndUnit", true, 1, true, true},
                      ReorderCase{"OpenGopTwoSlicesDelimitersEndUnit", true, 2, true, true},
                      ReorderCase{"ClosedGopOneSliceEndUnit", false, 1, false, true},
                      ReorderCase{"ClosedGopTwoSlicesEndUnit", false, 2, false, true},
                      ReorderCase{"OpenGopOneSliceNoEndUnit", true, 1, false, false},
                      ReorderCase{"OpenGopTwoSlicesDelimitersNoEndUnit", true, 2, true, false}),
    [](const ::testing::TestParamInfo<ReorderCase>& info) { return std::string(info.param.name); });

// A new stream of another size lets out the pictures the old one held back;
// they keep their records, and so do the new stream's.
TEST(ReorderedPictureRecords, SurviveAPictureSizeChange) {
    constexpr int kFrames = 13;
    constexpr Size kFirst{384, 128}, kSecond{192, 96};
    for (const int slices : {1, 2}) {
        const ReorderCase c{"", true, slices, false, true};
        const NumberedStream first = EncodeNumbered(c, kFirst, kFrames, 0);
        const NumberedStream second = EncodeNumbered(c, kSecond, kFrames, kFrames);
        std::vector<int> reference = ShownByFfmpeg(Closed(first.units, true), kFirst);
        const std::vector<int> secondReference = ShownByFfmpeg(Closed(second.units, true), kSecond);
        reference.insert(reference.end(), secondReference.begin(), secondReference.end());
        ASSERT_EQ(reference.size(), size_t(2 * kFrames));

        Bytes both = first.withRecords;
        both.insert(both.end(), second.withRecords.begin(), second.withRecords.end());
        const std::vector<Shown> shown = Play(Closed(both, true));
        EXPECT_EQ(shown.size(), size_t(2 * kFrames)) << slices << " slices";
        ExpectOwnRecordsInFfmpegsOrder(shown, reference);
    }
}

}  // namespace

namespace {

// A picture held back while more pictures were started than the table keeps
// records of has lost its record: it is shown with the one current when it
// comes out, never with the record of the picture that took its slot.
TEST(ReorderedPictureRecords, AFirstSliceTooLongAgoIsShownWithTheCurrentRecord) {
    constexpr int kFrames = 8;
    constexpr int kMarkerOfTheBurst = 77;
    constexpr int kMarkerAtTheEnd = 99;
    const ReorderCase c{"", false, 1, false, false};
    Bytes stream = EncodeNumbered(c, Size{384, 128}, kFrames, 0).withRecords;
    // First slices the decoder turns down (a picture parameter set number
    // out of range): each takes a tag and gives no picture.
    Append(stream, BuildTelemetryUnit(MarkedRecord(kMarkerOfTheBurst)));
    const Bytes refused = test_pipeline::Unit({0x02, 0x01, 0x80, 0xFF, 0xFF});
    for (int i = 0; i <= PictureAssembler::kRememberedPictures; ++i) Append(stream, refused);
    Append(stream, BuildTelemetryUnit(MarkedRecord(kMarkerAtTheEnd)));

    const std::vector<Shown> shown = Play(Closed(stream, true));
    ASSERT_EQ(shown.size(), size_t(kFrames));
    size_t heldBack = 0;
    for (const Shown& s : shown) {
        EXPECT_NE(s.marker, kMarkerOfTheBurst) << "picture " << s.number << " took another's slot";
        if (s.marker == kMarkerAtTheEnd) {
            ++heldBack;
        } else {
            EXPECT_EQ(s.marker, s.number);
        }
    }
    EXPECT_GT(heldBack, 0u) << "no picture was held back across the burst";
}

}  // namespace
