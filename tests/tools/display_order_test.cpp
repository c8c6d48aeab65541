// make-recording's rows follow the pictures as they are shown: with
// B-frames, coding order differs from display order, and the player shows
// each picture with the record sent before its own first slice.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/demux/link_frames.h"
#include "core/session/payload_decoder.h"
#include "lib/making/display_order.h"
#include "lib/making/pattern_encoder.h"
#include "lib/making/recording_builder.h"

namespace {

struct Case {
    const char* name;
    int bframes;
    bool openGop;
};

// The row number each picture is shown with, in the order shown.
std::vector<int> RowsAsShown(const std::vector<uint8_t>& recording) {
    std::vector<int> rows;
    PayloadDecoderOptions options;
    options.onPicture = [&rows](const ShownPicture& picture) { rows.push_back(picture.record.bytes[0]); };
    PayloadDecoder decoder(std::move(options));
    link_frames::Parser link;
    link.Feed(recording.data(), static_cast<int32_t>(recording.size()), [&decoder](const link_frames::Frame& f) {
        if (f.valid) decoder.Split(f.Payload(), static_cast<int32_t>(f.payloadLength));
    });
    decoder.Finish();
    return rows;
}

TEST(DisplayOrder, RowNGoesWithTheNthPictureShown) {
    constexpr int kPictures = 30;
    const Case cases[] = {{"no B-frames", 0, true}, {"3 B-frames, open GOP", 3, true},
                          {"3 B-frames, closed GOP", 3, false}};
    for (const Case& c : cases) {
        PatternOptions pattern;
        pattern.width = 320;
        pattern.height = 240;
        pattern.frames = kPictures;
        pattern.keyint = 10;
        pattern.bframes = c.bframes;
        pattern.openGop = c.openGop;
        std::vector<uint8_t> es;
        std::string error;
        ASSERT_TRUE(EncodeTestPattern(pattern, es, error)) << error;
        std::vector<TelemetryRecord> shown(kPictures);
        for (int i = 0; i < kPictures; ++i) shown[static_cast<size_t>(i)].bytes[0] = static_cast<uint8_t>(i + 1);

        const std::vector<int> rows =
            RowsAsShown(BuildRecording(es, RecordsInCodingOrder(shown, es), RecordingOptions{}));
        std::vector<int> expected(kPictures);
        for (int i = 0; i < kPictures; ++i) expected[static_cast<size_t>(i)] = i + 1;
        EXPECT_EQ(rows, expected) << c.name;
    }
}

}  // namespace
