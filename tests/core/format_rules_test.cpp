// The rules every program names: what a telemetry unit is, and where a link
// frame starts in bytes read from any offset.

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "core/format/link_frame.h"
#include "core/format/telemetry_unit.h"

namespace {

TEST(TelemetryUnitRule, OnlyAFourByteStartCodeWithTheMarkerIsTelemetry) {
    struct Case {
        const char* what;
        std::vector<uint8_t> unit;
        bool telemetry;
    };
    const Case cases[] = {
        {"marker after the start code", {0, 0, 0, 1, 0x06, 0x05, 0xFF}, true},
        {"start code and marker alone", {0, 0, 0, 1, 0x06}, true},
        {"start code without its header byte", {0, 0, 0, 1}, false},
        {"3-byte start code", {0, 0, 1, 0x06, 0x05, 0x10}, false},
        {"a prefix SEI of the standard", {0, 0, 0, 1, 0x4E, 0x01, 0x05}, false},
        {"marker with a broken start code", {0, 1, 0, 1, 0x06, 0x05}, false},
    };
    for (const Case& c : cases)
        EXPECT_EQ(telemetry_unit::IsTelemetryUnit(c.unit.data(), c.unit.size()), c.telemetry) << c.what;
}

TEST(LinkFrameStart, CutsAtAFrameWhoseNextFrameAlsoStarts) {
    std::vector<uint8_t> bytes(3000, 0x11);
    auto sync = [&](size_t at) {
        bytes[at] = link_frame::kSync1;
        bytes[at + 1] = link_frame::kSync2;
    };
    sync(40);   // a sync pair inside a payload: no frame follows it
    sync(100);  // a frame, confirmed by the next at 612
    sync(612);
    EXPECT_EQ(link_frame::FindFrameStart(bytes.data(), bytes.size()), 100u);
    // Near the end no next frame can be seen: the pair is taken.
    EXPECT_EQ(link_frame::FindFrameStart(bytes.data() + 700, 2300 - 1), 2300 - 1u);
    std::vector<uint8_t> tail(600, 0x22);
    tail[200] = link_frame::kSync1;
    tail[201] = link_frame::kSync2;
    EXPECT_EQ(link_frame::FindFrameStart(tail.data(), tail.size()), 200u);
    EXPECT_EQ(link_frame::FindFrameStart(tail.data(), 201), 201u);  // half a pair is none
}

}  // namespace
