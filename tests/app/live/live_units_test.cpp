// downlink-live's parts that decide something on their own: the command
// line, what an INPUT names, recording file names and cut points, and when
// the link is said to be quiet.

#include <gtest/gtest.h>

#include <vector>

#include "lib/live/decoder_tally.h"
#include "lib/live/link_source.h"
#include "lib/live/link_watch.h"
#include "programs/live/live_options.h"
#include "lib/live/recording_files.h"

namespace {

using namespace live;

LiveOptions Parse(std::vector<std::string> args) {
    args.insert(args.begin(), "downlink-live");
    std::vector<char*> argv;
    for (std::string& arg : args) argv.push_back(arg.data());
    return ParseLiveOptions(static_cast<int>(argv.size()), argv.data());
}

TEST(LiveOptions, AcceptsWhatHelpTellsAndRefusesTheRest) {
    struct Case {
        std::vector<std::string> args;
        Action action;
    };
    const Case cases[] = {
        {{"udp://0.0.0.0:5600"}, Action::kRun},
        {{"-"}, Action::kRun},
        {{"--record", "r.dat", "--split", "0.5", "--force", "-q", "tcp://h:1"}, Action::kRun},
        {{"--baud", "115200", "/dev/ttyUSB0"}, Action::kRun},
        {{"--help"}, Action::kHelp},
        {{"--version"}, Action::kVersion},
        {{}, Action::kUsageError},
        {{"a", "b"}, Action::kUsageError},
        {{"--split", "5", "udp://h:1"}, Action::kUsageError},  // nothing to split
        {{"--record", "r", "--split", "0", "x"}, Action::kUsageError},
        {{"--record", "r", "--split", "-1", "x"}, Action::kUsageError},
        {{"--baud", "12345", "x"}, Action::kUsageError},
        {{"--baud", "9600.5", "x"}, Action::kUsageError},
        {{"--baud", "1e20", "x"}, Action::kUsageError},  // beyond int: no conversion may be tried
        {{"--baud", "nan", "x"}, Action::kUsageError},
        {{"--record", "r", "--split", "inf", "x"}, Action::kUsageError},
        {{"--record", "r", "--split", "nan", "x"}, Action::kUsageError},
        {{"--record"}, Action::kUsageError},
        {{"--bogus", "x"}, Action::kUsageError},
    };
    for (const Case& c : cases) {
        const LiveOptions options = Parse(c.args);
        EXPECT_EQ(options.action, c.action) << testing::PrintToString(c.args) << ": " << options.error;
    }
    const LiveOptions full = Parse({"--record", "r.dat", "--split", "0.5", "--title", "A", "udp://h:1"});
    EXPECT_EQ(full.record, "r.dat");
    EXPECT_DOUBLE_EQ(full.splitMinutes, 0.5);
    EXPECT_EQ(full.title, "A");
    EXPECT_EQ(full.input, "udp://h:1");
    EXPECT_EQ(Parse({"x"}).title, "RGB Image");
}

TEST(PlanSource, TellsDatagramsConnectionsStreamsAndFiles) {
    struct Case {
        std::string input;
        SourceKind kind;
        std::string url;
        bool canWait;
        bool caller;
    };
    const Case cases[] = {
        {"udp://239.1.2.3:5600", SourceKind::kDatagrams, "udp://239.1.2.3:5600", false, false},
        {"rist://127.0.0.1:1", SourceKind::kDatagrams, "rist://127.0.0.1:1", false, false},
        {"tcp://h:1", SourceKind::kConnection, "tcp://h:1", true, true},
        {"tcp://h:1?listen=1", SourceKind::kConnection, "tcp://h:1?listen=1", true, false},
        {"tcp://h:1?listen", SourceKind::kConnection, "tcp://h:1?listen", true, false},
        {"tcp://h:1?listen=0", SourceKind::kConnection, "tcp://h:1?listen=0", true, true},
        {"tcp://h:1?timeout=5&listen=2", SourceKind::kConnection, "tcp://h:1?timeout=5&listen=2", true, false},
        {"srt://h:1", SourceKind::kConnection, "srt://h:1", false, true},
        {"srt://h:1?mode=listener", SourceKind::kConnection, "srt://h:1?mode=listener", false, false},
        {"srt://h:1?mode=rendezvous", SourceKind::kConnection, "srt://h:1?mode=rendezvous", false, true},
        {"srt://h:1?transtype=file", SourceKind::kConnection, "srt://h:1?transtype=file", true, true},
        {"-", SourceKind::kStream, "pipe:0", true, false},
        {"pipe:0", SourceKind::kStream, "pipe:0", true, false},
        {"unix:/run/link.sock", SourceKind::kStream, "unix:/run/link.sock", true, false},
        {"flight.dat", SourceKind::kFile, "file:flight.dat", true, false},
        // A colon in a file's name is no scheme.
        {"./a:b.dat", SourceKind::kFile, "file:./a:b.dat", true, false},
        {"/tmp/x:1", SourceKind::kFile, "file:/tmp/x:1", true, false},
        {"C:rec.dat", SourceKind::kFile, "file:C:rec.dat", true, false},
    };
    for (const Case& c : cases) {
        const SourcePlan plan = PlanSource(c.input);
        EXPECT_EQ(plan.kind, c.kind) << c.input;
        EXPECT_EQ(plan.url, c.url) << c.input;
        EXPECT_EQ(plan.canWait, c.canWait) << c.input;
        EXPECT_EQ(plan.caller, c.caller) << c.input;
    }
}

TEST(RecordingFiles, SplitNamesKeepTheExtensionAndFolder) {
    const std::pair<std::string, std::string> cases[] = {
        {"rec.dat", "rec-0007.dat"},
        {"/data/flight.2/rec", "/data/flight.2/rec-0007"},
        {"/data/.hidden", "/data/.hidden-0007"},
        {"a.b.dat", "a.b-0007.dat"},
    };
    for (const auto& [path, expected] : cases) EXPECT_EQ(SplitFileName(path, 7), expected);
    EXPECT_EQ(SplitFileName("r.dat", 12345), "r-12345.dat");
}

TEST(QuietWatch, SaysQuietOnceAndBackWithTheSilence) {
    const Clock::time_point t0{};
    QuietWatch watch;
    EXPECT_FALSE(watch.WentQuiet(t0 + std::chrono::hours(1))) << "nothing came yet, so nothing went";
    EXPECT_FALSE(watch.Arrived(t0 + std::chrono::milliseconds(999)).has_value());
    EXPECT_FALSE(watch.WentQuiet(t0 + std::chrono::milliseconds(1998)));
    const Clock::time_point last = t0 + std::chrono::milliseconds(999);
    EXPECT_TRUE(watch.WentQuiet(last + kQuietAfter));
    EXPECT_FALSE(watch.WentQuiet(last + kQuietAfter * 3)) << "once per silence";
    const auto silence = watch.Arrived(last + std::chrono::milliseconds(2500));
    ASSERT_TRUE(silence.has_value());
    EXPECT_EQ(*silence, std::chrono::milliseconds(2500));
    EXPECT_FALSE(watch.Arrived(last + std::chrono::milliseconds(2600)).has_value());
    EXPECT_TRUE(watch.WentQuiet(last + std::chrono::milliseconds(3600)));
}

TEST(StatusLine, RatesOverTheIntervalTotalsAsTheyAre) {
    CountsSnapshot before;
    before.bytes = 1000;
    before.pictures = 10;
    CountsSnapshot now = before;
    now.bytes = 1000 + 1024000;
    now.pictures = 60;
    now.linkFrames = 7;
    now.invalidFrames = 1;
    now.sequenceBreaks = 2;
    now.lostFrames = 3;
    now.lateFrames = 4;
    now.duplicateFrames = 5;
    now.discardedPayloads = 1024;
    now.recordedBytes = 99;
    EXPECT_EQ(StatusLine(before, now, 2.0, LinkStateWord(true, false, true)),
              "bytes/s=512000 frames=7 invalid=1 breaks=2 lost=3 late=4 duplicate=5 pictures/s=25.0 pictures=60 "
              "discarded=1024 recorded=99 link=waiting-for-key");
    EXPECT_STREQ(LinkStateWord(false, false, false), "idle");
    EXPECT_STREQ(LinkStateWord(true, true, true), "quiet");
    EXPECT_STREQ(LinkStateWord(true, false, false), "receiving");
    EXPECT_EQ(Span(std::chrono::milliseconds(2340)), "2.3 s");
    EXPECT_EQ(Span(std::chrono::seconds(125)), "2 min 5 s");
}

}  // namespace

namespace {

// Messages counted by kind, their numbers left out, lines that come in
// parts joined; the summary says each kind once, most frequent first, and
// starts over.
TEST(DecoderTally, SaysEachKindOnceASecondMostFrequentFirst) {
    live::DecoderTally tally;
    EXPECT_EQ(tally.Summary(), "");
    tally.Take("Could not find ref with POC 12\n");
    tally.Take("Could not find ref with POC 3\n");
    tally.Take("Could not find ref with POC ");
    tally.Take("40\n");
    tally.Take("Error parsing NAL unit #5.\n");
    tally.Take("left without its newline");
    EXPECT_EQ(tally.Summary(), "decoder: 3 x Could not find ref with POC #; 1 x Error parsing NAL unit #.");
    EXPECT_EQ(tally.Summary(), "");
}

TEST(TimeOfDay, IsUtcInIso8601ToTheSecond) {
    const auto when = std::chrono::system_clock::time_point(std::chrono::seconds(1796837412));
    EXPECT_EQ(live::TimeOfDay(when), "2026-12-09T17:30:12Z");
}

}  // namespace
