// inspect-recording's report: damage marked where the link broke, computed
// by the report's own collector from the player's parser; bounded thumbnails
// at even intervals; chart lines inside their bands, azimuth as an angle;
// pages that say so when a recording has no telemetry, no pictures or no
// link frames.

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <set>
#include <tuple>

#include "core/format/byte_order.h"
#include "core/format/link_frame.h"
#include "lib/formats/telemetry_track.h"
#include "lib/making/link_framer.h"
#include "lib/making/pattern_encoder.h"
#include "lib/making/recording_builder.h"
#include "lib/making/telemetry_unit_writer.h"
#include "lib/report/chart_series.h"
#include "lib/report/picture_count.h"
#include "lib/report/report_page.h"
#include "tests/tools/support/tool_folder.h"

namespace {

using namespace link_frame;

// Each 480-byte chunk starts with its own number, so a frame tells which
// chunk it carries even when frames before it were dropped.
std::vector<uint8_t> NumberedStream(size_t chunks) {
    std::vector<uint8_t> es(chunks * kPayloadArea, 0x55);
    for (size_t c = 0; c < chunks; ++c) le::WriteU32(es.data() + c * kPayloadArea, static_cast<uint32_t>(c));
    return es;
}

struct Collected {
    RecordingReport report;
    std::vector<TimelineBin> bins;
    uint64_t framesLost;
    ReportFacts facts;
};

// One bin per link frame: bin i is the i-th frame of a recording without noise.
Collected Collect(const std::vector<uint8_t>& recording, size_t bins) {
    ReportCollector collector(recording.size(), bins);
    ReadOptions read;
    read.keepStream = false;
    read.keepLists = false;  // as inspect-recording reads for a page alone
    collector.Attach(read);
    Collected c;
    c.report = ReadRecordingBytes(recording, read);
    c.bins = collector.Timeline().Bins();
    c.framesLost = collector.Timeline().FramesLost();
    c.facts = collector.Facts("dir/rec.dat", c.report, "9.9");
    return c;
}

template <typename CountOf>
std::set<size_t> BinsWith(const std::vector<TimelineBin>& bins, CountOf count) {
    std::set<size_t> at;
    for (size_t i = 0; i < bins.size(); ++i) {
        if (count(bins[i]) != 0) at.insert(i);
    }
    return at;
}

std::set<size_t> Breaks(const Collected& c) {
    return BinsWith(c.bins, [](const TimelineBin& b) { return b.sequenceBreaks; });
}
std::set<size_t> Invalid(const Collected& c) {
    return BinsWith(c.bins, [](const TimelineBin& b) { return b.invalidFrames; });
}

void SetSequence(std::vector<uint8_t>& link, size_t frame, uint16_t seq) {
    le::WriteU16(link.data() + frame * kFrameSize + kSequenceOffset, seq);
}

}  // namespace

TEST(RecordingReport, DamageIsMarkedAtTheFrameWhereItHappened) {
    constexpr size_t kFrames = 100;
    struct Case {
        const char* name;
        std::vector<size_t> dropped;  // frames removed, highest first
        size_t jumpAt;                // this frame and those after it numbered 99 further on; 0: none
        size_t invalidAt;             // payload length set to 0; 0: none
        size_t repeatAt;              // number of the frame before written again; 0: none
        std::set<size_t> breaks, invalid;
        uint64_t lost;
    } cases[] = {
        {"one frame dropped", {40}, 0, 0, 0, {40}, {}, 1},
        {"three dropped in a row", {12, 11, 10}, 0, 0, 0, {10}, {}, 3},
        {"first frame dropped", {0}, 0, 0, 0, {0}, {}, 1},
        {"number jumps ahead", {}, 25, 0, 0, {25}, {}, 99},
        {"invalid payload length", {}, 0, 60, 0, {}, {60}, 0},
        {"number repeated", {}, 0, 0, 70, {70, 71}, {}, 1},
        {"all of them", {80, 30}, 50, 5, 90, {30, 49, 79, 88, 89}, {5}, 102},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<uint8_t> link = FrameLink(NumberedStream(kFrames), kPayloadArea, Impairments{});
        for (size_t f = c.jumpAt; c.jumpAt > 0 && f < kFrames; ++f) SetSequence(link, f, static_cast<uint16_t>(f + 100));
        if (c.invalidAt > 0) le::WriteU16(link.data() + c.invalidAt * kFrameSize + kPayloadLenOffset, 0);
        if (c.repeatAt > 0) SetSequence(link, c.repeatAt, le::ReadU16(link.data() + (c.repeatAt - 1) * kFrameSize + kSequenceOffset));
        for (size_t f : c.dropped) {
            link.erase(link.begin() + static_cast<std::ptrdiff_t>(f * kFrameSize),
                       link.begin() + static_cast<std::ptrdiff_t>((f + 1) * kFrameSize));
        }
        const Collected got = Collect(link, link.size() / kFrameSize);
        EXPECT_EQ(Breaks(got), c.breaks);
        EXPECT_EQ(Invalid(got), c.invalid);
        EXPECT_EQ(got.framesLost, c.lost);
        EXPECT_EQ(got.report.sequenceBreaks, c.breaks.size());
    }
}

// make-recording's own impairments: every dropped frame's place, read back
// from the chunk numbers the frames carry, has its break mark, and the
// totals are those the framer says it injected.
TEST(RecordingReport, MakeRecordingImpairmentsLandOnTheirFrames) {
    constexpr size_t kChunks = 3000;
    for (uint64_t seed : {1u, 7u, 42u}) {
        SCOPED_TRACE("seed " + std::to_string(seed));
        Impairments imp;
        imp.seed = seed;
        imp.dropRate = 0.01;
        imp.sequenceJumpRate = 0.005;
        imp.invalidLengthRate = 0.005;
        LinkStats stats;
        const std::vector<uint8_t> link = FrameLink(NumberedStream(kChunks), kPayloadArea, imp, &stats);
        const size_t frames = link.size() / kFrameSize;
        std::set<size_t> droppedBefore, invalid;
        uint32_t previous = UINT32_MAX;
        for (size_t f = 0; f < frames; ++f) {
            const uint8_t* frame = link.data() + f * kFrameSize;
            const uint32_t chunk = le::ReadU32(frame + kPayloadOffset);
            if (chunk != previous + 1) droppedBefore.insert(f);
            const uint16_t length = le::ReadU16(frame + kPayloadLenOffset);
            if (length == 0 || length > kPayloadArea) invalid.insert(f);
            previous = chunk;
        }
        ASSERT_GT(droppedBefore.size(), 5u);
        const Collected got = Collect(link, frames);
        const std::set<size_t> breaks = Breaks(got);
        for (size_t f : droppedBefore) EXPECT_EQ(breaks.count(f), 1u) << "frame " << f;
        EXPECT_EQ(Invalid(got), invalid);
        EXPECT_EQ(breaks.size(), stats.expectedBreaks);
        EXPECT_EQ(invalid.size(), stats.invalidLength);
        EXPECT_GE(got.framesLost, stats.dropped);
    }
}

// Frame by frame the reader must count exactly what it counts chunk by chunk.
TEST(RecordingReport, FrameByFrameReadingCountsTheSame) {
    Impairments imp;
    imp.noiseBytesBetweenFrames = 40;
    imp.noiseProbability = 0.3;
    imp.dropRate = imp.invalidLengthRate = imp.sequenceRepeatRate = 0.01;
    const std::vector<uint8_t> link = FrameLink(NumberedStream(2000), kPayloadArea, imp);
    ReadOptions plain;
    const RecordingReport a = ReadRecordingBytes(link, plain);
    const RecordingReport b = Collect(link, 600).report;
    EXPECT_EQ(a.linkFrames, b.linkFrames);
    EXPECT_EQ(a.invalidFrames, b.invalidFrames);
    EXPECT_EQ(a.sequenceBreaks, b.sequenceBreaks);
    EXPECT_EQ(a.payloadBytes, b.payloadBytes);
    EXPECT_EQ(a.units, b.units);
}

TEST(RecordingReport, BinsFollowTheReplaysPace) {
    EXPECT_EQ(TimelineBinsFor(0), 1u);
    EXPECT_EQ(TimelineBinsFor(512000), 5u);       // 1 s in bins of 0.2 s
    EXPECT_EQ(TimelineBinsFor(5120512), 51u);     // the sample, just over 10 s
    EXPECT_EQ(TimelineBinsFor(3686400000), kDefaultTimelineBins);  // 2 hours
    // A frame ending at 5 s of a 10-s recording is in the middle bin.
    LinkTimeline t(5120000, 50);
    EXPECT_EQ(t.BinOf(2560000), 24u);
    EXPECT_EQ(t.BinOf(2560001), 25u);
    EXPECT_DOUBLE_EQ(t.DurationSeconds(), 10.0);
}

TEST(RecordingReport, ThumbnailsStayFewAndEvenlySpaced) {
    const std::vector<uint8_t> rgb(16 * 9 * 3, 200);
    for (uint64_t pictures : {1u, 5u, 16u, 17u, 250u, 180000u}) {
        SCOPED_TRACE(std::to_string(pictures) + " pictures");
        ThumbnailSampler sampler(16, 8, 8);
        for (uint64_t p = 1; p <= pictures; ++p) sampler.Offer(p, 0, rgb.data(), 16, 9);
        const std::vector<Thumbnail>& kept = sampler.Kept();
        ASSERT_FALSE(kept.empty());
        EXPECT_LE(kept.size(), 16u);
        EXPECT_GE(kept.size(), std::min<uint64_t>(pictures, 8));
        for (size_t i = 0; i < kept.size(); ++i) EXPECT_EQ(kept[i].picture, 1 + i * sampler.Stride());
        EXPECT_GT(kept.back().picture + sampler.Stride(), pictures);  // reaches the end
        for (const Thumbnail& t : kept) {
            ASSERT_EQ(t.pixels.size(), 8u * 5 * 4) << "picture " << t.picture;
            EXPECT_EQ(t.width, 8);
            EXPECT_EQ(t.pixels[0], 200);  // the grey survives thinning
        }
        const std::vector<const Thumbnail*> spread = sampler.Spread(8);
        EXPECT_EQ(spread.size(), std::min<size_t>(kept.size(), 8));
        EXPECT_EQ(spread.front()->picture, 1u);
        EXPECT_LE(kept.back().picture - spread.back()->picture, sampler.Stride());  // equal intervals may end a stride short
    }
}

// Planned from a count, the shown pictures stand at exactly equal intervals
// from the first to within an interval's rounding of the last, for that
// count and for a decoder that held back up to 16 of its last pictures;
// otherwise (a pipe, or a count that was off) each within one kept stride
// of its even place.
TEST(RecordingReport, ShownThumbnailsAreEvenlySpacedOverTheRecording) {
    const std::vector<uint8_t> rgb(4 * 4 * 3, 90);
    const struct {
        uint64_t pictures;  // offered
        uint64_t planned;   // counted before; 0: never told
        bool equalIntervals;
    } cases[] = {
        {2, 2, true},      {8, 8, true},        {9, 9, true},       {15, 15, true},     {60, 60, true},
        {100, 100, true},  {101, 101, true},    {250, 250, true},   {751, 751, true},   {180000, 180000, true},
        {97, 100, true},   {734, 750, true},    {733, 750, false},  {751, 750, false},  {100, 0, false},
        {4099, 0, false},  {180000, 0, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.pictures) + " pictures, " + std::to_string(c.planned) + " planned");
        ThumbnailSampler sampler(16, 4, 4);
        if (c.planned > 0) sampler.Plan(c.planned, 8);
        size_t most = 0;
        for (uint64_t p = 1; p <= c.pictures; ++p) {
            sampler.Offer(p, 0, rgb.data(), 4, 4);
            most = std::max(most, sampler.Held());
        }
        EXPECT_LE(most, 45u);
        const std::vector<const Thumbnail*> shown = sampler.Spread(8);
        ASSERT_EQ(shown.size(), std::min<uint64_t>(c.pictures, 8));
        EXPECT_EQ(shown.front()->picture, 1u);
        for (size_t i = 1; i < shown.size(); ++i) EXPECT_GT(shown[i]->picture, shown[i - 1]->picture);
        if (c.equalIntervals) {
            const uint64_t step = shown[1]->picture - 1;
            for (size_t i = 1; i < shown.size(); ++i) EXPECT_EQ(shown[i]->picture - shown[i - 1]->picture, step);
            EXPECT_LT(c.pictures - shown.back()->picture, 7u);
            continue;
        }
        const double interval = double(c.pictures - 1) / 7;
        for (size_t i = 0; i < shown.size(); ++i) {
            EXPECT_LE(std::abs(double(shown[i]->picture) - (1 + i * interval)), double(sampler.Stride()))
                << "picture " << shown[i]->picture << " shown " << i + 1 << "th, stride " << sampler.Stride();
        }
    }
}

// A count made beside the read may come after the first pictures: told any
// time before the sampler says it is overdue, or after the read, it picks
// and keeps the pictures, moments and pixels a count told first does.
TEST(RecordingReport, APlanToldLateKeepsWhatAPlanToldFirstKeeps) {
    const struct {
        uint64_t pictures, planned, toldAfter;  // offered; the count (0: it failed); offered before it
    } cases[] = {
        {250, 250, 1}, {250, 250, 17}, {250, 250, 32}, {97, 100, 32}, {751, 750, 20},
        {100, 0, 10},  {5, 5, 5},      {17, 17, 17},   {180000, 180000, 32},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.pictures) + " pictures, " + std::to_string(c.planned) + " counted, told after " +
                     std::to_string(c.toldAfter));
        ThumbnailSampler first(16, 4, 4), late(16, 4, 4);
        first.Plan(c.planned, 8);
        late.ExpectPlan();
        size_t most = 0;
        for (uint64_t p = 1; p <= c.pictures; ++p) {
            if (p == c.toldAfter + 1) {
                EXPECT_EQ(late.PlanDue(), c.toldAfter >= ThumbnailSampler::kMostBeforePlan);
                late.Plan(c.planned, 8);
            }
            const std::vector<uint8_t> rgb(4 * 4 * 3, uint8_t(p));
            first.Offer(p, p * 0.04, rgb.data(), 4, 4);
            late.Offer(p, p * 0.04, rgb.data(), 4, 4);
            most = std::max(most, late.Held());
        }
        if (c.toldAfter >= c.pictures) late.Plan(c.planned, 8);
        EXPECT_LE(most, 45u);
        // Picture, moment and pixels of what is shown and of the grid behind it.
        const auto seen = [](const ThumbnailSampler& s) {
            std::vector<std::tuple<uint64_t, double, uint8_t>> out;
            for (const Thumbnail* t : s.Spread(8)) out.emplace_back(t->picture, t->seconds, t->pixels.at(0));
            for (const Thumbnail& t : s.Kept()) out.emplace_back(t.picture, t.seconds, t.pixels.at(0));
            return out;
        };
        EXPECT_EQ(seen(late), seen(first));
    }
}

// A thumbnail's moment is when its picture's packet reached the decoder, so
// frame threads, which hand pictures back later, show the same pictures at
// the same moments, with B-frames and without an end unit too; and the
// count made beside the read, as inspect-recording makes it, plans them as
// the count made before it does.
TEST(RecordingReport, ThreadsChooseTheSameThumbnailsAtTheSameMoments) {
    PatternOptions pattern;
    pattern.width = 64;
    pattern.height = 64;
    pattern.frames = 60;
    pattern.bframes = 3;
    std::vector<uint8_t> es;
    std::string error;
    ASSERT_TRUE(EncodeTestPattern(pattern, es, error)) << error;
    RecordingOptions options;
    options.endOfBitstream = false;
    options.targetBytesPerSecond = 48000;  // the link's time runs on between pictures
    const std::vector<uint8_t> recording = BuildRecording(es, {}, options);
    const std::string file = testing::TempDir() + "dlp-report-threads-" + std::to_string(getpid()) + ".dat";
    ASSERT_TRUE(WriteWholeFile(file, recording, error)) << error;
    EXPECT_EQ(CountPicturesBeside(file + ".missing", ReadOptions{}).get(), 0u);
    std::vector<std::pair<uint64_t, double>> chosen[3];
    for (int i : {0, 1, 2}) {  // one thread, three, three with the count beside the read
        ReportCollector collector(recording.size(), TimelineBinsFor(recording.size()));
        ReadOptions read;
        read.keepStream = false;
        read.keepLists = false;
        read.decoderThreads = i == 0 ? 1 : 3;
        if (i < 2) collector.PlanPictures(CountPictures(recording, read));
        if (i == 2) collector.PlanPictures(CountPicturesBeside(file, read));
        collector.Attach(read);
        RecordingReport report;
        ASSERT_TRUE(ReadRecordingFile(file, read, report, error)) << error;
        collector.AwaitPlan();
        for (const Thumbnail* t : collector.Thumbnails().Spread(kThumbnailsShown)) {
            chosen[i].emplace_back(t->picture, t->seconds);
        }
    }
    std::remove(file.c_str());
    ASSERT_EQ(chosen[0].size(), kThumbnailsShown);
    EXPECT_EQ(chosen[1], chosen[0]);
    EXPECT_EQ(chosen[2], chosen[0]);
}

namespace {

bool Contains(const BandPiece& b, const LinePoint& p, bool strictly) {
    constexpr double kSlack = 1e-9;
    if (p.seconds < b.from - kSlack || p.seconds > b.to + kSlack) return false;
    if (strictly && b.high > b.low) return p.value > b.low && p.value < b.high;
    return p.value >= b.low - kSlack && p.value <= b.high + kSlack;
}

// Every point of the line in a band at its moment; those of the bins (all
// but the first and last record's) inside it, not on its edge, where it
// has a height; the last point the last record.
void ExpectLineInItsBands(const ChartSeries& s, double lastRecord) {
    ASSERT_GE(s.line.size(), 3u);
    for (size_t i = 0; i < s.line.size(); ++i) {
        const LinePoint& p = s.line[i];
        const bool bin = i > 0 && i + 1 < s.line.size();
        const auto holds = [&](const BandPiece& b) { return Contains(b, p, bin); };
        EXPECT_TRUE(std::any_of(s.bands.begin(), s.bands.end(), holds))
            << "point " << i << " at " << p.seconds << " s, " << p.value;
    }
    EXPECT_DOUBLE_EQ(s.line.back().value, lastRecord);
}

double TallestBand(const ChartSeries& s) {
    double tallest = 0;
    for (const BandPiece& b : s.bands) tallest = std::max(tallest, b.high - b.low);
    return tallest;
}

}  // namespace

// The page as inspect-recording draws it, of recordings made as
// make-recording makes them: the thumbnails' numbers at equal intervals
// over the pictures shown, B-frames or not, and each chart's line inside
// its bands, ending at the last record. The generated track's azimuth turns
// 12 degrees a second, so the 30-s one crosses 180 degrees.
TEST(RecordingReport, PagesOfMadeRecordingsShowEqualIntervalsAndLinesInTheirBands) {
    constexpr size_t kBins = 50;
    const struct {
        int pictures;
        int bframes;
        bool endUnit;
        uint64_t shown;
    } cases[] = {
        {60, 0, true, 60},   {100, 0, true, 100}, {101, 0, true, 101}, {250, 0, true, 250}, {751, 0, true, 751},
        {60, 3, true, 60},   {100, 3, true, 100}, {101, 3, true, 101}, {250, 3, true, 250}, {751, 3, true, 751},
        {100, 3, false, 97},  // the decoder keeps its last reordered pictures
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.pictures) + " pictures, " + std::to_string(c.bframes) + " B-frames" +
                     (c.endUnit ? "" : ", no end unit"));
        PatternOptions pattern;
        pattern.width = 32;
        pattern.height = 32;
        pattern.frames = c.pictures;
        pattern.bframes = c.bframes;
        std::vector<uint8_t> es;
        std::string error;
        ASSERT_TRUE(EncodeTestPattern(pattern, es, error)) << error;
        const std::vector<TelemetryRecord> records = FlightTrack(static_cast<size_t>(c.pictures));
        RecordingOptions options;
        options.endOfBitstream = c.endUnit;
        const std::vector<uint8_t> recording = BuildRecording(es, records, options);

        ReportCollector collector(recording.size(), kBins);
        ReadOptions read;
        read.keepStream = false;
        read.keepLists = false;
        collector.PlanPictures(CountPictures(recording, read));
        collector.Attach(read);
        const RecordingReport report = ReadRecordingBytes(recording, read);
        ASSERT_EQ(report.pictures, c.shown);

        std::vector<uint64_t> labels;
        for (const Thumbnail* t : collector.Thumbnails().Spread(kThumbnailsShown)) labels.push_back(t->picture);
        ASSERT_EQ(labels.size(), kThumbnailsShown);
        EXPECT_EQ(labels.front(), 1u);
        for (size_t i = 1; i < labels.size(); ++i) {
            EXPECT_EQ(labels[i] - labels[i - 1], labels[1] - 1) << "interval " << i;
        }
        EXPECT_LT(c.shown - labels.back(), kThumbnailsShown - 1);

        const LinkTimeline& t = collector.Timeline();
        const TelemetryValues last = DecodeTelemetry(records.back());
        const ChartSeries height = SeriesOf(t, &TimelineBin::height, ValueKind::kLinear);
        const ChartSeries pitch = SeriesOf(t, &TimelineBin::pitch, ValueKind::kLinear);
        const ChartSeries azimuth = SeriesOf(t, &TimelineBin::azimuth, ValueKind::kAngle);
        {
            SCOPED_TRACE("height");
            ExpectLineInItsBands(height, last.height);
        }
        {
            SCOPED_TRACE("pitch");
            ExpectLineInItsBands(pitch, last.pitch);
        }
        {
            SCOPED_TRACE("azimuth");
            ExpectLineInItsBands(azimuth, WrappedAngle(last.azimuth));
            EXPECT_LT(TallestBand(azimuth), 45);
        }
    }
}

// Azimuth is an angle: crossing ±180° within a bin or between two draws no
// band across the chart, and the line breaks only where it wraps; a bin that
// turned all the way round is the one band of the chart's full height.
TEST(RecordingReport, AzimuthWrapsRoundItsChart) {
    constexpr int kRecords = 100;  // ten to a bin
    const struct {
        const char* name;
        double start, step;  // degrees, and degrees a record
        double tallest;      // band
        int breaks;          // in the line; -1: not counted
    } cases[] = {
        {"crossing 180 inside a bin", 155, 1, 9, 1},
        {"crossing -180 inside a bin", -155, -1, 9, 1},
        {"crossing 180 between two bins", 150, 1, 9, 1},
        {"steady, never at the seam", -20, 0.5, 4.5, 0},
        {"a turn faster than a bin", 0, 45, 360, -1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        LinkTimeline timeline(kRecords * 512, kRecords / 10);
        TelemetryValues v{};
        for (int i = 0; i < kRecords; ++i) {
            timeline.AddFrame(LinkFrameEvent{uint64_t(i + 1) * 512, uint16_t(i), false, 0, false, 480});
            v.azimuth = static_cast<float>(WrappedAngle(c.start + c.step * i));
            timeline.AddRecord(v);
        }
        const ChartSeries az = SeriesOf(timeline, &TimelineBin::azimuth, ValueKind::kAngle);
        ExpectLineInItsBands(az, v.azimuth);
        EXPECT_DOUBLE_EQ(TallestBand(az), c.tallest);
        if (c.breaks < 0) continue;
        EXPECT_EQ(std::count_if(az.line.begin() + 1, az.line.end(), [](const LinePoint& p) { return !p.joined; }),
                  c.breaks);
    }
}

// The PNG holds the surface's pixels: each channel in its place, rows
// taken at the surface's stride, whatever the padding byte holds.
TEST(RecordingReport, PngPagesHoldTheSurfacesPixels) {
    constexpr int kWidth = 7, kHeight = 5, kStride = 40;
    std::vector<uint32_t> words(kStride / 4 * kHeight);
    for (size_t i = 0; i < words.size(); ++i) words[i] = uint32_t(i * 2654435761u);  // every byte varies
    cairo_surface_t* drawn = cairo_image_surface_create_for_data(reinterpret_cast<unsigned char*>(words.data()),
                                                                 CAIRO_FORMAT_RGB24, kWidth, kHeight, kStride);
    const std::string out = testing::TempDir() + "dlp-report-png-" + std::to_string(getpid()) + ".png";
    ASSERT_EQ(WritePagePng(drawn, out), CAIRO_STATUS_SUCCESS);
    EXPECT_EQ(WritePagePng(drawn, "/nonexistent/page.png"), CAIRO_STATUS_WRITE_ERROR);
    cairo_surface_t* read = cairo_image_surface_create_from_png(out.c_str());
    ASSERT_EQ(cairo_image_surface_get_width(read), kWidth);
    ASSERT_EQ(cairo_image_surface_get_height(read), kHeight);
    for (int y = 0; y < kHeight; ++y) {
        for (int x = 0; x < kWidth; ++x) {
            uint32_t pixel;
            std::memcpy(&pixel, cairo_image_surface_get_data(read) + y * cairo_image_surface_get_stride(read) + x * 4, 4);
            EXPECT_EQ(pixel & 0xFFFFFF, words[y * kStride / 4 + x] & 0xFFFFFF) << x << ", " << y;
        }
    }
    cairo_surface_destroy(read);
    cairo_surface_destroy(drawn);
    std::remove(out.c_str());
}

// Recordings without telemetry, pictures or frames: the page says so, in
// each of the three formats.
TEST(RecordingReport, EmptyRecordingsGiveAPageThatSaysWhatIsMissing) {
    std::vector<uint8_t> es;
    std::string error;
    PatternOptions pattern;
    pattern.width = 64;
    pattern.height = 64;
    pattern.frames = 10;
    ASSERT_TRUE(EncodeTestPattern(pattern, es, error)) << error;
    std::vector<TelemetryRecord> records(10);
    const std::vector<TelemetrySample> path = GenerateFlightPath(10);
    for (size_t i = 0; i < records.size(); ++i) ASSERT_TRUE(EncodeRecord(path[i], records[i], error));
    const std::vector<uint8_t> noTelemetry = BuildRecording(es, {}, RecordingOptions{});
    // Telemetry units only, then the end unit that lets the splitter hand the last one over.
    std::vector<uint8_t> telemetryOnly;
    for (const TelemetryRecord& r : records) {
        const std::vector<uint8_t> unit = BuildTelemetryUnit(r);
        telemetryOnly.insert(telemetryOnly.end(), unit.begin(), unit.end());
    }
    telemetryOnly.insert(telemetryOnly.end(), {0, 0, 0, 1, 0x4A, 0x01});
    const std::vector<uint8_t> noPictures = FrameLink(telemetryOnly, kPayloadArea, Impairments{});
    struct Case {
        const char* name;
        std::vector<uint8_t> recording;
        std::vector<std::string> notices;
    } cases[] = {
        {"whole", BuildRecording(es, records, RecordingOptions{}), {}},
        {"no telemetry", noTelemetry, {kNoTelemetryNotice}},
        {"no pictures", noPictures, {kNoPicturesNotice}},
        {"no link frames", std::vector<uint8_t>(5000, 0), {kNoFramesNotice, kNoPicturesNotice, kNoTelemetryNotice}},
    };
    const std::filesystem::path dir = std::filesystem::temp_directory_path() / "dlp-report-test";
    std::filesystem::create_directories(dir);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ReportCollector collector(c.recording.size(), TimelineBinsFor(c.recording.size()));
        ReadOptions read;
        read.keepStream = false;
        read.keepLists = false;
        collector.Attach(read);
        const ReportFacts facts = collector.Facts("rec.dat", ReadRecordingBytes(c.recording, read), "1");
        EXPECT_EQ(ReportNotices(facts), c.notices);
        const ReportPage page{facts, collector.Timeline(), collector.Thumbnails()};
        for (const char* kind : {"png", "svg", "pdf"}) {
            const std::filesystem::path out = dir / (std::string("page.") + kind);
            ASSERT_TRUE(WriteReportPage(page, out.string(), error)) << error;
            std::ifstream in(out, std::ios::binary);
            std::string head(5, '\0');
            in.read(&head[0], 5);
            EXPECT_EQ(head, std::string(kind) == "png" ? "\x89PNG\r" : std::string(kind) == "svg" ? "<?xml" : "%PDF-");
        }
    }
    std::filesystem::remove_all(dir);
}
