// The robustness tests judge the player's console by these shapes; a shape
// that let anything through would make every "well formed" check empty.

#include <gtest/gtest.h>

#include "pipeline/ingest/replay_messages.h"
#include "tests/robustness/support/console_lines.h"

namespace {

TEST(ConsoleLines, AcceptsThePlayersLines) {
    EXPECT_TRUE(IsWellFormedConsoleLine("1,video:1,Az:0,Pt:90,Lon:0,Lat:0,H:0"));
    EXPECT_TRUE(IsWellFormedConsoleLine("12,video:1,Az:-45.0007,Pt:67.4997,Lon:100,Lat:-50,H:2.14748e+06"));
    EXPECT_TRUE(IsWellFormedConsoleLine("aabbccdd:64,"));
    EXPECT_TRUE(IsWellFormedConsoleLine(std::string(replay_message::kDoneBefore) + "880" +
                                        replay_message::kDoneAfter));
    EXPECT_EQ(MarkerOf("3,video:1,Az:0,Pt:90,Lon:0,Lat:0,H:1004"), 1004);
}

TEST(ConsoleLines, RejectsTornAndMixedLines) {
    for (const char* line : {"", "1,video:1,Az:0,Pt:90,Lon:0,Lat:0", "1,video:1,Az:0,Pt:90,Lon:0,Lat:0,H:",
                             "1,video:1,Az:0,Pt:90,Lon:0,Lat:0,H:0,", "1,video:0,Az:0,Pt:90,Lon:0,Lat:0,H:0",
                             "1,video:1,Az:0,Pt:9e,Lon:0,Lat:0,H:0", "1,video:1,Az:0,Pt:90,Lon:0,Lat:0,H:01e+",
                             "aabbccdd:,", "1,video:1,Az:0aabbccdd:64,"}) {
        EXPECT_FALSE(IsWellFormedConsoleLine(line)) << line;
    }
    const std::string torn = std::string(replay_message::kDoneBefore) + "3,video:1,Az:0,Pt:90";
    EXPECT_FALSE(IsWellFormedConsoleLine(torn));
    EXPECT_EQ(MarkerOf("3,video:1,Az:0,Pt:90,Lon:0,Lat:0,H:2.5"), -1);
}

}  // namespace
