// Where exported pictures stand in time, and the decode times given to
// access units written in decode order.

#include <gtest/gtest.h>

#include <vector>

#include "core/session/decode_clock.h"
#include "core/session/picture_timeline.h"

namespace {

struct Coded {
    int poc;  // -1: unknown
    bool idr;
};

// Feeds access units in decode order (= show order here) and returns the indices.
std::vector<int64_t> Indices(const std::vector<Coded>& units) {
    PictureTimeline timeline;
    std::vector<int64_t> out;
    for (const Coded& u : units) out.push_back(timeline.Shown(timeline.Decoded(u.poc >= 0, u.poc, u.idr)));
    return out;
}

}  // namespace

TEST(PictureTimeline, LostPicturesLeaveGapsAndDamageNeverRunsBackwards) {
    const struct {
        const char* name;
        std::vector<Coded> units;
        std::vector<int64_t> indices;
    } cases[] = {
        {"whole stream", {{0, true}, {1, false}, {2, false}, {3, false}}, {0, 1, 2, 3}},
        {"picture 2 lost", {{0, true}, {1, false}, {3, false}}, {0, 1, 3}},
        {"a count that starts mid-stream", {{7, false}, {8, false}, {10, false}}, {0, 1, 3}},
        {"IDR restarts the count", {{0, true}, {1, false}, {0, true}, {1, false}}, {0, 1, 2, 3}},
        {"loss before an IDR is not seen", {{0, true}, {2, false}, {0, true}}, {0, 2, 3}},
        {"unknown count", {{-1, false}, {0, true}, {-1, false}, {2, false}}, {0, 1, 2, 3}},
        {"count runs backwards", {{0, true}, {5, false}, {3, false}, {4, false}}, {0, 5, 6, 7}},
        {"damaged count leaps", {{0, true}, {1, false}, {50000, false}, {2, false}}, {0, 1, 2, 3}},
    };
    for (const auto& c : cases) {
        std::vector<int64_t> got = Indices(c.units);
        got.resize(c.indices.size());
        EXPECT_EQ(got, c.indices) << c.name;
    }
}

TEST(PictureTimeline, BFramesShowInCountOrderAcrossAnIdr) {
    PictureTimeline timeline;
    // Decode order I0 P3 B1 B2 | IDR0 P2 B1; show order follows the counts.
    const int64_t i0 = timeline.Decoded(true, 0, true), p3 = timeline.Decoded(true, 3, false),
                  b1 = timeline.Decoded(true, 1, false), b2 = timeline.Decoded(true, 2, false),
                  idr = timeline.Decoded(true, 0, true), p2 = timeline.Decoded(true, 2, false),
                  c1 = timeline.Decoded(true, 1, false);
    std::vector<int64_t> shown;
    for (int64_t running : {i0, b1, b2, p3, idr, c1, p2}) shown.push_back(timeline.Shown(running));
    EXPECT_EQ(shown, (std::vector<int64_t>{0, 1, 2, 3, 4, 5, 6}));
}

TEST(DecodeClock, DecodeTimesRiseAndNeverFollowPresentation) {
    const struct {
        int delay;
        std::vector<int64_t> pts;  // decode order
        std::vector<int64_t> dts;
    } cases[] = {
        {0, {0, 1, 2, 4, 5}, {0, 1, 2, 4, 5}},
        {1, {0, 2, 1, 4, 3}, {-1, 0, 1, 2, 3}},
        {2, {0, 3, 1, 2, 6, 4, 5}, {-2, -1, 0, 1, 2, 3, 4}},
    };
    for (const auto& c : cases) {
        DecodeClock clock(c.delay);
        std::vector<int64_t> got;
        for (int64_t pts : c.pts) {
            int64_t dts = 0;
            ASSERT_TRUE(clock.Next(pts, dts)) << "delay " << c.delay << " pts " << pts;
            EXPECT_LE(dts, pts);
            got.push_back(dts);
        }
        EXPECT_EQ(got, c.dts) << "delay " << c.delay;
    }
    // Deeper reordering than declared: left out rather than a dts after its pts.
    DecodeClock shallow(0);
    int64_t dts = 0;
    ASSERT_TRUE(shallow.Next(5, dts));
    EXPECT_FALSE(shallow.Next(3, dts));
}
