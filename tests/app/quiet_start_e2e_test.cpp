// Without a display and with XDG_RUNTIME_DIR unset, as for root on a server,
// the player's standard error holds its own notice and nothing of Qt's.

#include <gtest/gtest.h>

#include "tests/support/player_process.h"
#include "lib/making/pattern_encoder.h"
#include "lib/making/recording_builder.h"
#include "lib/formats/telemetry_track.h"

namespace {

using namespace test_player;

constexpr milliseconds kBound{60000};  // against a hang only
constexpr int kPictures = 3;

// Pictures, so that the window is made and Qt has its say about it.
Bytes PictureRecording() {
    PatternOptions pattern;
    pattern.width = 64;
    pattern.height = 64;
    pattern.frames = kPictures;
    Bytes es;
    std::string error;
    EXPECT_TRUE(EncodeTestPattern(pattern, es, error)) << error;
    std::vector<TelemetryRecord> records;
    for (const TelemetrySample& sample : GenerateFlightPath(kPictures)) {
        records.emplace_back();
        EXPECT_TRUE(EncodeRecord(sample, records.back(), error)) << error;
    }
    return BuildRecording(es, records, RecordingOptions{});
}

TEST(QuietStart, HeadlessPlayerWritesOnlyItsOwnNotice) {
    WorkFolder folder;
    folder.WriteRecording(PictureRecording());
    PlayerOptions options;
    options.display = Display::kNone;
    options.environment = {"XDG_RUNTIME_DIR="};
    PlayerProcess player(DLP_PLAYER_PATH, folder, options);
    ASSERT_TRUE(player.WaitForStdout(std::to_string(kPictures) + ",video:1,", kBound)) << player.Stderr();
    EXPECT_EQ(player.Stop(), 0);
    EXPECT_EQ(player.Stderr(),
              "downlink-player: no display found; pictures are not shown, telemetry lines are still printed\n");
}

}  // namespace
