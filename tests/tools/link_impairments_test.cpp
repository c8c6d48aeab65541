// Link impairments: what the framer says it injected is what the player's
// link parser counts.

#include <gtest/gtest.h>

#include <algorithm>

#include "core/format/byte_order.h"
#include "core/format/link_frame.h"
#include "lib/making/link_framer.h"
#include "lib/reading/recording_reader.h"

namespace {

std::vector<uint8_t> Stream(size_t size) {
    std::vector<uint8_t> es(size);
    for (size_t i = 0; i < size; ++i) es[i] = static_cast<uint8_t>(i * 7 + 1);
    return es;
}

// As the player reads: frames in the order stored, so that every injected
// fault reaches the link scan as the framer wrote it.
RecordingReport Read(const std::vector<uint8_t>& recording) {
    ReadOptions read;
    read.keepStream = false;
    read.reorderMs = 0;
    return ReadRecordingBytes(recording, read);
}

uint16_t SequenceOf(const std::vector<uint8_t>& link, size_t frame) {
    return le::ReadU16(link.data() + frame * link_frame::kFrameSize + link_frame::kSequenceOffset);
}

}  // namespace

TEST(LinkFramer, CleanFramesCarryTheStreamInOrder) {
    const std::vector<uint8_t> es = Stream(1000);
    const std::vector<uint8_t> link = FrameLink(es, 480, Impairments{});
    ASSERT_EQ(link.size(), 3u * 512);
    for (size_t f = 0; f < 3; ++f) {
        const uint8_t* frame = link.data() + f * 512;
        EXPECT_EQ(frame[0], 0xEB);
        EXPECT_EQ(frame[1], 0x90);
        EXPECT_EQ(SequenceOf(link, f), f + 1);
        const uint16_t length = le::ReadU16(frame + link_frame::kPayloadLenOffset);
        EXPECT_EQ(length, f < 2 ? 480 : 40);
        EXPECT_TRUE(std::equal(frame + 32, frame + 32 + length, es.begin() + f * 480));
        EXPECT_TRUE(std::all_of(frame + 32 + length, frame + 512, [](uint8_t b) { return b == 0; }));
    }
}

TEST(LinkFramer, SequenceWrapsThroughZeroWithoutABreak) {
    const std::vector<uint8_t> link = FrameLink(Stream(65537), 1, Impairments{});
    EXPECT_EQ(SequenceOf(link, 65534), 65535);
    EXPECT_EQ(SequenceOf(link, 65535), 0);
    EXPECT_EQ(SequenceOf(link, 65536), 1);
    const RecordingReport r = Read(link);
    EXPECT_EQ(r.linkFrames, 65537u);
    EXPECT_EQ(r.sequenceBreaks, 0u);
}

TEST(LinkFramer, SameSeedSameBytesOtherSeedOtherBytes) {
    Impairments imp;
    imp.noiseBytesBetweenFrames = 20;
    imp.dropRate = imp.invalidLengthRate = imp.sequenceJumpRate = imp.sequenceRepeatRate = 0.05;
    imp.bitFlipRate = 0.001;
    const std::vector<uint8_t> es = Stream(100000);
    const std::vector<uint8_t> a = FrameLink(es, 480, imp);
    EXPECT_EQ(FrameLink(es, 480, imp), a);
    imp.seed = 2;
    EXPECT_NE(FrameLink(es, 480, imp), a);
}

// Each impairment alone, then all at once: the receiver's counts match the
// framer's, and the ones that keep the data leave the stream whole.
TEST(LinkImpairments, ReceiverCountsWhatWasInjected) {
    const std::vector<uint8_t> es = Stream(200000);
    struct Case {
        const char* name;
        Impairments imp;
    };
    std::vector<Case> cases(7);
    cases[0].name = "noise";
    cases[0].imp.noiseBytesBetweenFrames = 64;
    cases[0].imp.noiseProbability = 0.5;
    cases[1].name = "drops";
    cases[1].imp.dropRate = 0.03;
    cases[2].name = "invalid lengths";
    cases[2].imp.invalidLengthRate = 0.03;
    cases[3].name = "jumps";
    cases[3].imp.sequenceJumpRate = 0.03;
    cases[4].name = "repeats";
    cases[4].imp.sequenceRepeatRate = 0.03;
    cases[5].name = "bit flips";
    cases[5].imp.bitFlipRate = 0.001;
    cases[6].name = "all";
    cases[6].imp = cases[0].imp;
    cases[6].imp.dropRate = cases[6].imp.invalidLengthRate = cases[6].imp.sequenceJumpRate =
        cases[6].imp.sequenceRepeatRate = 0.03;
    cases[6].imp.bitFlipRate = 0.001;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        LinkStats stats;
        const std::vector<uint8_t> link = FrameLink(es, 480, c.imp, &stats);
        ReadOptions read;
        const RecordingReport r = ReadRecordingBytes(link, read);
        EXPECT_EQ(r.linkFrames, stats.frames);
        EXPECT_EQ(r.invalidFrames, stats.invalidLength);
        EXPECT_EQ(r.sequenceBreaks, stats.expectedBreaks);
        EXPECT_EQ(r.payloadBytes, stats.payloadBytes);
        EXPECT_EQ(stats.frames + stats.dropped, (es.size() + 479) / 480);
    }
    LinkStats s;
    FrameLink(es, 480, cases[3].imp, &s);
    EXPECT_GT(s.sequenceJumps, 5u);
    EXPECT_EQ(s.expectedBreaks, s.sequenceJumps);
    FrameLink(es, 480, cases[4].imp, &s);
    EXPECT_GT(s.sequenceRepeats, 5u);
    EXPECT_EQ(s.expectedBreaks, s.sequenceRepeats);
    FrameLink(es, 480, cases[2].imp, &s);
    EXPECT_GT(s.invalidLength, 5u);
    EXPECT_EQ(s.expectedBreaks, 0u);
    FrameLink(es, 480, cases[1].imp, &s);
    EXPECT_GT(s.dropped, 5u);
    EXPECT_GT(s.expectedBreaks, 0u);
    EXPECT_LE(s.expectedBreaks, s.dropped);
    FrameLink(es, 480, cases[5].imp, &s);
    EXPECT_GT(s.bitFlips, 50u);
}

TEST(LinkImpairments, NoiseAndSequenceFaultsLeaveTheStreamIntact) {
    // A stream of units, so that the splitter hands the bytes over.
    std::vector<uint8_t> es;
    for (int u = 0; u < 200; ++u) {
        es.insert(es.end(), {0x00, 0x00, 0x00, 0x01, 0x02, 0x01});
        for (int i = 0; i < 997; ++i) es.push_back(static_cast<uint8_t>(0x10 + (u + i) % 200));
    }
    Impairments imp;
    imp.noiseBytesBetweenFrames = 100;
    imp.sequenceJumpRate = imp.sequenceRepeatRate = 0.05;
    LinkStats stats;
    const RecordingReport r = ReadRecordingBytes(FrameLink(es, 333, imp, &stats), ReadOptions{});
    EXPECT_GT(stats.noiseBytes, 1000u);
    std::vector<uint8_t> back = r.elementaryStream;
    back.insert(back.end(), r.openTail.begin(), r.openTail.end());
    EXPECT_EQ(back, es);
}

TEST(LinkImpairments, TruncationCutsMidFrameAndCountsOnlyWholeFrames) {
    Impairments imp;
    imp.truncateAt = 5 * 512 + 100;
    LinkStats stats;
    const std::vector<uint8_t> link = FrameLink(Stream(480 * 10), 480, imp, &stats);
    EXPECT_EQ(link.size(), 5u * 512 + 100);
    EXPECT_EQ(stats.frames, 5u);
    EXPECT_EQ(Read(link).linkFrames, 5u);
}

// A frame sent twice is the same 512 bytes again; the receiver sees one
// sequence break for it and queues its payload once more.
TEST(LinkImpairments, RepeatedFramesComeTwiceByteForByte) {
    Impairments imp;
    imp.frameRepeatRate = 0.05;
    LinkStats stats;
    const std::vector<uint8_t> link = FrameLink(Stream(200000), 480, imp, &stats);
    const size_t frames = link.size() / link_frame::kFrameSize;
    size_t sameAsBefore = 0;
    for (size_t f = 1; f < frames; ++f) {
        sameAsBefore += std::equal(link.begin() + (f - 1) * 512, link.begin() + f * 512, link.begin() + f * 512);
    }
    EXPECT_GT(stats.repeatedFrames, 5u);
    EXPECT_EQ(sameAsBefore, stats.repeatedFrames);
    EXPECT_EQ(stats.expectedBreaks, stats.repeatedFrames);
    const RecordingReport r = Read(link);
    EXPECT_EQ(r.linkFrames, stats.frames);
    EXPECT_EQ(r.sequenceBreaks, stats.expectedBreaks);
    EXPECT_EQ(r.payloadBytes, stats.payloadBytes);
}

// Noise for a link with nothing on it: reproducible, and unlike the noise
// between frames it holds sync bytes.
TEST(LinkImpairments, LinkNoiseIsSeededAndHoldsSyncBytes) {
    const std::vector<uint8_t> noise = LinkNoise(30000, 13);
    EXPECT_EQ(noise, LinkNoise(30000, 13));
    EXPECT_NE(noise, LinkNoise(30000, 14));
    EXPECT_GT(std::count(noise.begin(), noise.end(), link_frame::kSync1), 50);
}
