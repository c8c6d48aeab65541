// The link frame parser: finding 512-byte frames in a byte stream that
// arrives in pieces, and handing on the valid payloads.

#include <gtest/gtest.h>

#include "tests/support/link_frames.h"
#include "tests/support/pipeline_harness.h"

namespace {

using test_link::Bytes;
using test_link::Append;
using test_link::Frame;
using test_link::PayloadFrame;

Bytes Counting(size_t count, uint8_t first) {
    Bytes bytes(count);
    for (size_t i = 0; i < count; ++i) bytes[i] = static_cast<uint8_t>(first + i);
    return bytes;
}

void Parse(DecodeData& pipeline, const Bytes& bytes) {
    pipeline.ParseLink(bytes.data(), static_cast<int32_t>(bytes.size()));
}

class LinkParser : public ::testing::Test {
protected:
    std::unique_ptr<DecodeData> pipeline = test_pipeline::Bare();
    std::vector<Bytes> Queued() { return test_pipeline::TakeQueued(*pipeline); }
};

// One object for all positions: the parser must also come back to hunting
// cleanly after each frame.
TEST_F(LinkParser, FrameSplitAtAnyBytePositionIsAssembledWhole) {
    const Bytes payload = Counting(480, 7);  // holds 0xEB and 0x90 bytes too
    for (int cut = 0; cut <= 512; ++cut) {
        const Bytes frame = PayloadFrame(static_cast<uint16_t>(cut + 1), payload);
        pipeline->ParseLink(frame.data(), cut);
        pipeline->ParseLink(frame.data() + cut, 512 - cut);
        const auto queued = Queued();
        ASSERT_EQ(queued.size(), 1u) << "cut at " << cut;
        ASSERT_EQ(queued[0], payload) << "cut at " << cut;
    }
    EXPECT_EQ(pipeline->lostCount, 0);
}

TEST_F(LinkParser, FrameFedOneByteAtATimeOrWithEmptyCallsIsAssembledWhole) {
    const Bytes payload = Counting(300, 0xE0);
    const Bytes frame = PayloadFrame(1, payload);
    for (uint8_t b : frame) {
        pipeline->ParseLink(&b, 1);
        pipeline->ParseLink(&b, 0);
        pipeline->ParseLink(&b, -3);
    }
    const auto queued = Queued();
    ASSERT_EQ(queued.size(), 1u);
    EXPECT_EQ(queued[0], payload);
}

TEST_F(LinkParser, BackToBackFramesAndFramesBetweenNoiseAreAllFound) {
    Bytes stream;
    std::vector<Bytes> sent;
    for (uint16_t seq = 1; seq <= 6; ++seq) {
        sent.push_back(Counting(100 + seq, static_cast<uint8_t>(seq * 40)));
        if (seq > 3) Append(stream, test_link::Noise(37 * seq, seq));
        if (seq == 5) Append(stream, {0xEB, 0x11, 0x90, 0x90, 0xEB, 0x00});  // false starts
        Append(stream, PayloadFrame(seq, sent.back()));
    }
    Parse(*pipeline, stream);
    EXPECT_EQ(Queued(), sent);
    EXPECT_EQ(pipeline->lostCount, 0);
}

// A second 0xEB drops the first and is dropped with it, so a frame whose
// first sync byte came right after a stray 0xEB is lost.
TEST_F(LinkParser, StrayEbBeforeAFrameLosesThatFrameButNotTheNext) {
    Bytes stream{0xEB};
    Append(stream, PayloadFrame(1, Bytes(480, 0x11)));
    Append(stream, PayloadFrame(2, Bytes(480, 0x22)));
    Parse(*pipeline, stream);
    const auto queued = Queued();
    ASSERT_EQ(queued.size(), 1u);
    EXPECT_EQ(queued[0], Bytes(480, 0x22));
}

TEST_F(LinkParser, OnlyPayloadLengthsOneTo480AreHandedOn) {
    const Bytes area = Counting(480, 1);
    Bytes stream;
    Append(stream, Frame(1, 0, area));
    Append(stream, Frame(2, 1, area));
    Append(stream, Frame(3, 480, area));
    Append(stream, Frame(4, 481, area));
    Append(stream, Frame(5, 0xFFFF, area));
    Append(stream, Frame(6, 2, area));
    Parse(*pipeline, stream);
    const auto queued = Queued();
    ASSERT_EQ(queued.size(), 3u);
    EXPECT_EQ(queued[0], Bytes{area[0]});
    EXPECT_EQ(queued[1], area);
    EXPECT_EQ(queued[2], Bytes(area.begin(), area.begin() + 2));
    EXPECT_EQ(pipeline->linkFrameCount, 6u);
    EXPECT_EQ(pipeline->invalidFrameCount, 3u);
    EXPECT_EQ(pipeline->lostCount, 0) << "invalid frames still take part in the sequence";
}

struct SequenceCase {
    std::vector<uint16_t> numbers;
    int32_t breaks;
};

void PrintTo(const SequenceCase& c, std::ostream* os) {
    for (uint16_t n : c.numbers) *os << n << " ";
}

class SequenceBreaks : public ::testing::TestWithParam<SequenceCase> {};

TEST_P(SequenceBreaks, AreCountedOncePerBreak) {
    auto pipeline = test_pipeline::Bare();
    Bytes stream;
    for (size_t i = 0; i < GetParam().numbers.size(); ++i) {
        // Every other frame has an invalid length: it must count all the same.
        const uint16_t length = (i % 2 == 1) ? 0 : 10;
        Append(stream, Frame(GetParam().numbers[i], length, Bytes(10, 0x42)));
    }
    Parse(*pipeline, stream);
    EXPECT_EQ(pipeline->lostCount, GetParam().breaks);
}

INSTANTIATE_TEST_SUITE_P(
    Examples, SequenceBreaks,
    ::testing::Values(SequenceCase{{1, 2, 3}, 0}, SequenceCase{{1, 2, 5}, 1},
                      SequenceCase{{1, 2, 0, 1}, 0}, SequenceCase{{1, 5, 5}, 2},
                      SequenceCase{{7}, 1}, SequenceCase{{0, 1, 2}, 0},
                      SequenceCase{{1, 65535, 0, 1}, 1}, SequenceCase{{1, 2, 3, 2, 3}, 1}));

}  // namespace
