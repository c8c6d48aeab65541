// The built player under valgrind's memcheck, end to end: a short recording,
// offscreen, then the orderly stop with SIGTERM. No invalid read or write and
// no definite leak may be found; valgrind's error exit code says so, and its
// summary is checked as well.

#include <gtest/gtest.h>

#include "tests/robustness/support/console_lines.h"
#include "tests/support/marked_streams.h"
#include "tests/support/player_process.h"

namespace {

using test_player::PlayerOptions;
using test_player::PlayerProcess;
using test_player::WorkFolder;

constexpr int kValgrindFoundErrors = 99;
constexpr int kPictures = 3;

PlayerOptions UnderMemcheck() {
    PlayerOptions options;
    options.consolePipe = true;
    options.wrapper = {"valgrind",
                       "--tool=memcheck",
                       "--leak-check=full",
                       "--show-leak-kinds=definite",
                       "--errors-for-leak-kinds=definite",
                       "--error-exitcode=" + std::to_string(kValgrindFoundErrors),
                       "--num-callers=30",
                       "--suppressions=" DLP_VALGRIND_SUPPRESSIONS};
    // Drawing a real window under valgrind costs minutes; the pipeline and
    // the window calls run the same offscreen.
    options.environment = {"QT_QPA_PLATFORM=offscreen"};
    return options;
}

TEST(Valgrind, ShortReplayAndOrderlyStopHaveNoInvalidAccessAndNoDefiniteLeak) {
    WorkFolder folder;
    folder.WriteRecording(Framed(Closed(MarkedPictures(320, 180, kPictures, 1, kPictures))));

    PlayerProcess player(DLP_PLAYER_PATH, folder, UnderMemcheck());
    player.ReadUntil(
        [](const ConsoleLines& lines) { return CountMarkers(lines, kPictures, kPictures) > 0; },
        std::chrono::seconds(400));
    // Valgrind's own limit, not the player's: it stops at an instruction it
    // cannot translate (RDTSCP, which a library that libavcodec loads runs
    // at start-up on processors that do not announce it).
    if (player.Stderr().find("valgrind: Unrecognised instruction") != std::string::npos) {
        player.Stop();
        GTEST_SKIP() << "valgrind cannot run the player on this processor";
    }
    EXPECT_TRUE(player.Running()) << player.Stderr();
    const int status = player.Stop(std::chrono::seconds(300));  // memcheck's leak search at exit is slow

    EXPECT_EQ(CountMarkers(player.Lines(), 1, kPictures), kPictures);
    EXPECT_EQ(status, 0) << player.Stderr();
    EXPECT_NE(player.Stderr().find("ERROR SUMMARY: 0 errors"), std::string::npos)
        << player.Stderr();
}

}  // namespace
