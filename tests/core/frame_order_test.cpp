// Link frames put back in sequence order: what passes, when, and what is
// counted lost, late or duplicate, for arrivals as a jittery, lossy or
// restarted link delivers them.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/demux/frame_order.h"
#include "core/format/byte_order.h"

namespace {

struct Arrival {
    int seq;      // -1: no frame, only time passing
    int64_t atMs;
    int body = -1;  // the frame whose body it carries, when not its own
};

struct Case {
    const char* name;
    int64_t windowMs;
    std::vector<Arrival> arrivals;
    bool flushAtEnd;
    std::vector<int> passed;  // in the order passed on
    FrameOrderCounts counts;
    // The start waits a window for frames that came before the first one
    // sent; most cases begin past it, with the number before their first
    // frame's already passed.
    bool pastTheStart = true;
};

std::vector<uint8_t> Frame(int seq, int body = -1) {
    std::vector<uint8_t> frame(link_frame::kFrameSize, 0);
    frame[0] = link_frame::kSync1;
    frame[1] = link_frame::kSync2;
    frame[link_frame::kSequenceOffset] = static_cast<uint8_t>(seq & 0xFF);
    frame[link_frame::kSequenceOffset + 1] = static_cast<uint8_t>(seq >> 8);
    frame[100] = static_cast<uint8_t>((body < 0 ? seq : body) * 7);  // the body travels with its number
    return frame;
}

void PrintTo(const Case& c, std::ostream* out) { *out << c.name; }

class FrameOrderCases : public ::testing::TestWithParam<Case> {};

TEST_P(FrameOrderCases, PassFramesInSequenceAndCountWhatIsMissing) {
    const Case& c = GetParam();
    std::vector<int> passed;
    FrameOrder order(c.windowMs, [&passed](const uint8_t* frame, uint64_t position) {
        EXPECT_EQ(position, static_cast<uint64_t>(le::ReadU16(frame + link_frame::kSequenceOffset)) + 1000);
        const int seq = le::ReadU16(frame + link_frame::kSequenceOffset);
        passed.push_back(seq);
        if (frame[100] == static_cast<uint8_t>(9 * 7)) return;  // the stand-in body of the case above
        EXPECT_EQ(frame[100], static_cast<uint8_t>(seq * 7)) << "frame " << seq << " lost its body";
    });
    if (c.pastTheStart) {
        const int before = (c.arrivals.front().seq + 0xFFFF) & 0xFFFF;
        order.Arrived(Frame(before).data(), -1000, static_cast<uint64_t>(before) + 1000);
        order.Tick(-1000 + c.windowMs);
        ASSERT_EQ(passed, std::vector<int>{before});
        passed.clear();
    }
    for (const Arrival& a : c.arrivals) {
        if (a.seq < 0) {
            order.Tick(a.atMs);
        } else {
            order.Arrived(Frame(a.seq, a.body).data(), a.atMs, static_cast<uint64_t>(a.seq) + 1000);
        }
    }
    if (c.flushAtEnd) order.Flush();
    EXPECT_EQ(passed, c.passed);
    EXPECT_EQ(order.Counts().lost, c.counts.lost);
    EXPECT_EQ(order.Counts().late, c.counts.late);
    EXPECT_EQ(order.Counts().duplicate, c.counts.duplicate);
}

INSTANTIATE_TEST_SUITE_P(
    Arrivals, FrameOrderCases,
    ::testing::Values(
        Case{"InOrderPassesAtOnce", 40, {{1, 0}, {2, 1}, {3, 2}}, false, {1, 2, 3}, {}},
        Case{"SwapsAreUndone", 40, {{1, 0}, {3, 1}, {2, 2}, {5, 3}, {4, 4}, {6, 5}}, false, {1, 2, 3, 4, 5, 6}, {}},
        Case{"AGapWaitsItsWindow", 40, {{1, 0}, {3, 1}, {4, 2}, {-1, 40}}, false, {1}, {}},
        Case{"AGapGivenUpPassesWhatWaited", 40, {{1, 0}, {3, 1}, {4, 2}, {-1, 41}}, false, {1, 3, 4}, {1, 0, 0}},
        Case{"AFrameAfterItsGapWasGivenUpIsLate", 40, {{1, 0}, {3, 1}, {-1, 41}, {2, 42}, {4, 43}}, false,
             {1, 3, 4}, {1, 1, 0}},
        Case{"RepeatsAreDroppedPassedOrHeld", 40, {{1, 0}, {2, 1}, {2, 2}, {4, 3}, {4, 4}, {3, 5}}, false,
             {1, 2, 3, 4}, {0, 0, 2}},
        // Other bytes under a number already passed: the sender's numbering
        // fault, passed on as it came, neither dropped nor counted.
        Case{"ANumberRepeatedWithOtherBytesGoesOn", 40, {{1, 0}, {2, 1}, {2, 2, 9}, {3, 3}}, false, {1, 2, 2, 3}, {}},
        Case{"TheCountWrapsThroughZero", 40, {{65534, 0}, {0, 1}, {65535, 2}, {1, 3}}, false, {65534, 65535, 0, 1}, {}},
        Case{"AFarJumpIsARestart", 40, {{100, 0}, {102, 1}, {5000, 2}, {5001, 3}}, false, {100, 102, 5000, 5001},
             {1, 0, 0}},
        Case{"AFrameZeroBehindIsARestart", 40, {{5, 0}, {6, 1}, {0, 2}, {1, 3}}, false, {5, 6, 0, 1}, {}},
        Case{"AWindowOfZeroPassesAsTheyCome", 0, {{1, 0}, {3, 1}, {2, 2}, {2, 3}}, false, {1, 3, 2, 2}, {}},
        // A damaged number far ahead: the frames up to it keep coming in
        // order, so nothing is given up for it, and it never goes on.
        Case{"AnOutlierWaitsWhileFramesComeInOrder", 40,
             {{1, 0}, {2, 1}, {12, 2, 5}, {3, 10}, {4, 20}, {5, 30}, {6, 40}, {7, 50}, {8, 60}, {9, 70}, {10, 80},
              {11, 90}, {12, 100}, {13, 110}},
             false, {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13}, {0, 0, 1}},
        Case{"TheStartWaitsForFramesSentBeforeTheFirstToArrive", 40, {{3, 0}, {1, 1}, {2, 2}, {-1, 39}}, false,
             {}, {}, false},
        Case{"TheStartBeginsAtTheLowestNumber", 40, {{3, 0}, {1, 1}, {2, 2}, {-1, 40}, {4, 41}}, false,
             {1, 2, 3, 4}, {}, false},
        Case{"TheEndPassesEverythingHeld", 40, {{1, 0}, {3, 1}, {6, 2}}, true, {1, 3, 6}, {3, 0, 0}}),
    [](const ::testing::TestParamInfo<Case>& info) { return std::string(info.param.name); });

// However long the window, no more than kMostHeld frames wait: a frame
// farther ahead starts the count again, and what waited goes on first.
TEST(FrameOrder, HoldsNoMoreThanItsBound) {
    size_t passed = 0;
    FrameOrder order(1000000, [&passed](const uint8_t*, uint64_t) { ++passed; });
    order.Arrived(Frame(1).data(), 0);
    for (int seq = 3; seq < 3 + static_cast<int>(FrameOrder::kMostHeld) + 1; ++seq) order.Arrived(Frame(seq).data(), 1);
    EXPECT_EQ(order.Counts().lost, 1u);
    EXPECT_EQ(passed, 1u + FrameOrder::kMostHeld + 1);
    EXPECT_EQ(order.NextDeadline(), -1);
}

}  // namespace
