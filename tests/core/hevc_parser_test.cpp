// FFmpeg's HEVC parser as the player's whole-picture assembly and the export
// use it, on a real stream of several slices a picture.

#include <gtest/gtest.h>

#include <string>
#include <vector>

extern "C" {
#include <libavcodec/avcodec.h>
}

#include "core/demux/hevc_parser.h"
#include "core/format/nal_unit.h"
#include "lib/making/pattern_encoder.h"

namespace {

constexpr int kPictures = 6;

std::vector<uint8_t> TwoSlicePictures() {
    PatternOptions options;
    options.width = 320;
    options.height = 240;
    options.frames = kPictures;
    options.slices = 2;
    std::vector<uint8_t> es;
    std::string error;
    EXPECT_TRUE(EncodeTestPattern(options, es, error)) << error;
    return es;
}

struct Given {
    std::vector<int> pocs;
    size_t bytes = 0;
};

// Feeds the stream unit by unit, as the assembly does; `stopAfter` units at most.
void FeedUnits(HevcParser& parser, std::vector<uint8_t> es, Given& given, size_t stopAfter = SIZE_MAX) {
    const size_t size = es.size();
    es.resize(size + AV_INPUT_BUFFER_PADDING_SIZE, 0);  // the parser reads this far past the end
    auto sink = [&given](const HevcParser::Unit& unit) {
        EXPECT_TRUE(unit.pocKnown);
        given.pocs.push_back(unit.poc);
        given.bytes += static_cast<size_t>(unit.size);
    };
    size_t fed = 0;
    nal_unit::ForEachUnit(es.data(), size, [&](const uint8_t* unit, size_t length) {
        if (fed++ < stopAfter) parser.Feed(unit, static_cast<int>(length), sink);
    });
}

TEST(HevcParser, GivesOutEveryPictureWholeWithItsOrderCount) {
    const std::vector<uint8_t> es = TwoSlicePictures();
    ASSERT_FALSE(es.empty());
    HevcParser parser;
    ASSERT_TRUE(parser.Open());
    Given given;
    FeedUnits(parser, es, given);
    EXPECT_EQ(given.pocs.size(), size_t{kPictures - 1}) << "the last picture waits for the next one";
    EXPECT_GT(parser.PendingBytes(), 0);
    parser.Flush([&given](const HevcParser::Unit& unit) {
        given.pocs.push_back(unit.poc);
        given.bytes += static_cast<size_t>(unit.size);
    });
    EXPECT_EQ(given.pocs, (std::vector<int>{0, 1, 2, 3, 4, 5}));
    EXPECT_EQ(given.bytes, es.size()) << "every byte fed comes out in some access unit";
}

TEST(HevcParser, OpeningAgainDropsWhatWasHeldAndAClosedParserTakesNothing) {
    const std::vector<uint8_t> es = TwoSlicePictures();
    HevcParser parser;
    Given given;
    FeedUnits(parser, es, given);
    EXPECT_TRUE(given.pocs.empty()) << "not opened yet";

    ASSERT_TRUE(parser.Open());
    FeedUnits(parser, es, given, 4);  // parameter sets and the first picture's first slice
    EXPECT_GT(parser.PendingBytes(), 0);
    ASSERT_TRUE(parser.Open());
    EXPECT_EQ(parser.PendingBytes(), 0);
    parser.Flush([&given](const HevcParser::Unit&) { given.pocs.push_back(-1); });
    EXPECT_TRUE(given.pocs.empty()) << "the held bytes were dropped";

    parser.Close();
    EXPECT_FALSE(parser.IsOpen());
    FeedUnits(parser, es, given);
    EXPECT_TRUE(given.pocs.empty());
}

}  // namespace
