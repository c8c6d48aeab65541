// Which pictures may be shown after a loss. The rule first, on units made by
// hand; then on real streams with link frames cut out: no picture called
// trusted may differ from the same picture decoded from the whole stream,
// and pictures are trusted again from the next key picture on.

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <map>
#include <mutex>
#include <random>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "core/decode/picture_trust.h"
#include "core/format/link_frame.h"
#include "core/session/link_pipeline.h"
#include "lib/making/pattern_encoder.h"
#include "lib/making/recording_builder.h"

namespace {

using Bytes = std::vector<uint8_t>;

Bytes Unit(int type, std::initializer_list<uint8_t> body) {
    Bytes unit;
    unit.reserve(6 + body.size());  // growing a small vector trips GCC 12's bounds warning
    for (uint8_t byte : {uint8_t{0}, uint8_t{0}, uint8_t{0}, uint8_t{1}, static_cast<uint8_t>(type << 1), uint8_t{1}}) {
        unit.push_back(byte);
    }
    for (uint8_t byte : body) unit.push_back(byte);
    return unit;
}

Bytes Slice(int type) { return Unit(type, {0x80, 0x12, 0x34}); }

Bytes Telemetry(bool whole) {
    Bytes unit(10 + 782 + 1, 0x5A);
    const uint8_t head[] = {0, 0, 0, 1, 0x06, 0x05, 0xFF, 0xFF, 0xFF, 0x11};
    std::copy(std::begin(head), std::end(head), unit.begin());
    unit.resize(10 + (whole ? 782 : 300));
    unit.push_back(0x80);
    return unit;
}

// A prefix SEI with one recovery point message: recovery_poc_cnt as se(v),
// then exact_match and broken_link flags.
Bytes RecoveryPoint(int count) {
    const uint8_t code = count == 2 ? 0x20 : 0x40;  // se(v) 2 is ue 3: 00100; 1 is ue 1: 010
    return Unit(39, {6, 1, static_cast<uint8_t>(code | 0x04), 0x80});
}

// One letter an event: K key (IDR), c CRA, A a RASL picture, P a trailing
// picture; L link bytes lost inside the unit after it; F clean filler, f
// filler with foreign bytes, T whole telemetry, t cut telemetry; C the
// decoder complains about the last picture; 1/2 a recovery point naming
// that many pictures.
std::string TrustAfter(const std::string& events) {
    PictureTrust trust;
    int64_t opened = 0;
    for (char event : events) {
        Bytes unit;
        switch (event) {
            case 'K': unit = Slice(20); break;
            case 'c': unit = Slice(21); break;
            case 'A': unit = Slice(8); break;
            case 'P': unit = Slice(1); break;
            case 'F': unit = Unit(38, {0xFF, 0xFF, 0xFF, 0x80}); break;
            case 'f': unit = Unit(38, {0xFF, 0x42, 0x26, 0x80}); break;
            case 'T': unit = Telemetry(true); break;
            case 't': unit = Telemetry(false); break;
            case '1': unit = RecoveryPoint(1); break;
            case '2': unit = RecoveryPoint(2); break;
            case 'L': trust.BytesLost(); continue;
            case 'C': trust.DecoderComplained(opened); continue;
            default: continue;
        }
        trust.UnitCompleted(unit.data(), static_cast<int32_t>(unit.size()), opened);
        if (event == 'K' || event == 'c' || event == 'A' || event == 'P') ++opened;
    }
    std::string trusted;
    for (int64_t tag = 1; tag <= opened; ++tag) trusted += trust.Trusted(tag) ? '1' : '0';
    return trusted + (trust.WaitingForKey() ? " waiting" : "");
}

TEST(PictureTrustTest, PicturesAfterALossWaitForOneThatDependsOnNothingLost) {
    const struct {
        const char* events;
        const char* trusted;
    } cases[] = {
        {"KPP", "111"},
        {"PKP", "011"},                     // nothing before the first key picture
        {"KPLPPKP", "110011"},              // a slice the gap fell in, and all after it
        {"KPLFPK", "1111"},                 // the gap took filler only
        {"KPLfPK", "1001"},                 // filler that swallowed a start code
        {"KPLTP", "111"},                   // whole telemetry
        {"KPLtPK", "1001"},                 // telemetry the gap cut
        {"KPCPKP", "10011"},                // the decoder's complaint
        {"KPLP", "110 waiting"},
        {"KPPcAP", "111111"},              // leading pictures of an unbroken chain
        {"PcAP", "0101"},                   // ... and of one the CRA mends
        {"KPLP2PPPP", "1100011"},           // intra refresh: whole two pictures on
        {"KLP2PLPPP", "100000 waiting"},    // a loss inside the refresh
        {"KLPKCPP", "10000 waiting"},       // a damaged key picture mends nothing
    };
    for (const auto& c : cases) EXPECT_EQ(TrustAfter(c.events), c.trusted) << c.events;
}

// Real streams, link frames cut out of them.

struct Seen {
    uint64_t pixelSum;
    bool trusted;
};

struct Stream {
    const char* name;
    int slices;
    int bframes;
};

Bytes MakeRecording(const Stream& s, int pictures) {
    PatternOptions pattern;
    pattern.width = 320;
    pattern.height = 240;
    pattern.frames = pictures;
    pattern.keyint = 8;
    pattern.slices = s.slices;
    pattern.bframes = s.bframes;
    Bytes es;
    std::string error;
    EXPECT_TRUE(EncodeTestPattern(pattern, es, error)) << error;
    std::vector<TelemetryRecord> records(static_cast<size_t>(pictures));
    for (size_t i = 0; i < records.size(); ++i) records[i].bytes[0] = static_cast<uint8_t>(i + 1);
    return BuildRecording(es, records, RecordingOptions{});
}

// Every picture shown, by its record's mark (its number in display order).
std::map<int, Seen> Decode(const Bytes& recording) {
    std::map<int, Seen> seen;
    std::mutex lock;
    PayloadDecoderOptions options;
    options.onDecoderError = [](const char*, int64_t) {};
    options.onPicture = [&](const ShownPicture& picture) {
        uint64_t sum = 0;
        const size_t bytes = static_cast<size_t>(picture.width) * picture.height * 3;
        for (size_t i = 0; i < bytes; i += 3) sum = sum * 31 + picture.rgb[i];
        std::lock_guard<std::mutex> hold(lock);
        seen[picture.record.bytes[0]] = {sum, picture.trusted};
    };
    LinkPipeline pipeline(std::move(options));
    pipeline.Parse(recording.data(), static_cast<int32_t>(recording.size()));
    pipeline.Flush();
    for (int idle = 0; idle < 400 && pipeline.QueuedPayloads() > 0; ++idle) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    pipeline.Stop();
    return seen;
}

class CutStream : public ::testing::TestWithParam<Stream> {};

TEST_P(CutStream, NoTrustedPictureDiffersFromTheWholeStreamsAndKeysMendIt) {
    constexpr int kPictures = 40;
    const Bytes whole = MakeRecording(GetParam(), kPictures);
    const std::map<int, Seen> reference = Decode(whole);
    ASSERT_GE(reference.size(), static_cast<size_t>(kPictures - 2 * GetParam().bframes));
    std::set<uint64_t> wholeSums;
    for (const auto& [mark, seen] : reference) {
        EXPECT_TRUE(seen.trusted) << "picture " << mark;
        wholeSums.insert(seen.pixelSum);
    }

    const size_t frames = whole.size() / link_frame::kFrameSize;
    std::mt19937 random(11);
    int trustedAfterCuts = 0;
    for (int round = 0; round < 6; ++round) {
        // One to three frames cut from the middle third of the stream.
        const size_t first = frames / 3 + random() % (frames / 3);
        const size_t count = 1 + random() % 3;
        Bytes cut(whole.begin(), whole.begin() + first * link_frame::kFrameSize);
        cut.insert(cut.end(), whole.begin() + (first + count) * link_frame::kFrameSize, whole.end());
        for (const auto& [mark, seen] : Decode(cut)) {
            if (!seen.trusted) continue;
            ++trustedAfterCuts;
            // By content: a picture whose telemetry was cut away comes with
            // the record before it.
            EXPECT_EQ(wholeSums.count(seen.pixelSum), 1u)
                << "picture " << mark << " shown as trusted, cut " << count << " frames at " << first;
        }
    }
    // The pictures before each cut and from the next key on: most of them.
    EXPECT_GT(trustedAfterCuts, 6 * kPictures / 2);
}

INSTANTIATE_TEST_SUITE_P(Streams, CutStream,
                         ::testing::Values(Stream{"OneSlice", 1, 0}, Stream{"FourSlices", 4, 0},
                                           Stream{"OpenGopWithBFrames", 1, 2}),
                         [](const ::testing::TestParamInfo<Stream>& info) { return std::string(info.param.name); });

}  // namespace
