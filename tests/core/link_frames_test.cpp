// The link layer's scan as every reader runs it: frames found between
// noise, the sequence rule with the frames each break skipped, invalid
// lengths, and the same events wherever the bytes are cut into pieces.

#include <gtest/gtest.h>

#include <vector>

#include "core/demux/link_frames.h"
#include "tests/support/link_frames.h"

namespace {

using test_link::Append;
using test_link::Bytes;

struct Seen {
    uint64_t endOffset;
    uint16_t sequence;
    bool sequenceBreak;
    uint32_t skipped;
    bool valid;
    uint32_t payloadLength;
    uint8_t firstPayloadByte;
    bool operator==(const Seen& o) const {
        return endOffset == o.endOffset && sequence == o.sequence && sequenceBreak == o.sequenceBreak &&
               skipped == o.skipped && valid == o.valid && payloadLength == o.payloadLength &&
               firstPayloadByte == o.firstPayloadByte;
    }
};

// Feeds `bytes` in pieces cut at `cuts` and collects the events with their
// offsets in the whole stream.
std::vector<Seen> Scan(const Bytes& bytes, const std::vector<size_t>& cuts, link_frames::State* counts = nullptr) {
    link_frames::Parser parser;
    std::vector<Seen> seen;
    size_t start = 0;
    std::vector<size_t> ends = cuts;
    ends.push_back(bytes.size());
    for (size_t end : ends) {
        parser.Feed(bytes.data() + start, static_cast<int32_t>(end - start), [&](const link_frames::Frame& f) {
            seen.push_back({start + static_cast<uint64_t>(f.endIndex) + 1, f.sequence, f.sequenceBreak,
                            f.framesSkipped, f.valid, f.payloadLength, f.Payload()[0]});
        });
        start = end;
    }
    if (counts != nullptr) *counts = parser.Counts();
    return seen;
}

TEST(LinkFrames, FramesBetweenNoiseWithBreaksSkipsAndInvalidLengths) {
    Bytes stream;
    std::vector<Seen> expected;
    auto frame = [&](uint16_t sequence, uint16_t length, bool brk, uint32_t skipped, size_t noise) {
        Append(stream, test_link::Noise(noise, sequence));
        Append(stream, test_link::Frame(sequence, length, Bytes(480, static_cast<uint8_t>(sequence))));
        const bool valid = length >= 1 && length <= 480;
        expected.push_back({stream.size(), sequence, brk, skipped, valid, length, static_cast<uint8_t>(sequence)});
    };
    frame(1, 480, false, 0, 0);
    frame(2, 100, false, 0, 37);   // noise between frames is skipped
    frame(5, 480, true, 2, 0);     // 3 and 4 were lost
    frame(5, 480, true, 0, 0);     // a repeat loses nothing
    frame(3, 0, true, 0, 700);     // a step back neither; a length of 0 is invalid
    frame(0, 481, false, 0, 0);    // 0 restarts the count; 481 is too long
    frame(1, 1, false, 0, 3);
    link_frames::State counts;
    EXPECT_EQ(Scan(stream, {}, &counts), expected);
    EXPECT_EQ(counts.linkFrameCount, 7u);
    EXPECT_EQ(counts.invalidFrameCount, 2u);
    EXPECT_EQ(counts.lostCount, 3);
    EXPECT_EQ(counts.lastSeq, 1);

    // Cut anywhere, once or into many small pieces, the same frames come out.
    for (size_t cut = 0; cut <= stream.size(); cut += 7) ASSERT_EQ(Scan(stream, {cut}), expected) << "cut at " << cut;
    std::vector<size_t> pieces;
    for (size_t at = 0; at < stream.size(); at += 5) pieces.push_back(at);
    EXPECT_EQ(Scan(stream, pieces), expected);
}

TEST(LinkFrames, AFalseSyncInsideAFrameNeverStartsOne) {
    // Sync pairs inside the payload: once a frame is being collected, they are data.
    Bytes payload(480, 0x00);
    for (size_t i = 0; i + 1 < payload.size(); i += 50) {
        payload[i] = link_frame::kSync1;
        payload[i + 1] = link_frame::kSync2;
    }
    Bytes stream = test_link::PayloadFrame(1, payload);
    Append(stream, test_link::PayloadFrame(2, payload));
    const std::vector<Seen> seen = Scan(stream, {});
    ASSERT_EQ(seen.size(), 2u);
    EXPECT_EQ(seen[1].endOffset, 1024u);
    EXPECT_FALSE(seen[1].sequenceBreak);
}

}  // namespace
