// Stops at random moments of an impaired recording's replay, by SIGTERM and
// by SIGINT, with and without a display: every one orderly and within a few
// seconds. The moments come from a seed (DLP_STOP_SEED, else a fixed one),
// printed with any failure so that the same sequence can be run again.

#include <gtest/gtest-spi.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <iostream>
#include <random>
#include <thread>

#include "core/format/replay_pace.h"
#include "tests/support/marked_streams.h"
#include "tests/support/player_process.h"
#include "lib/making/link_framer.h"

namespace {

using namespace test_player;
using Clock = std::chrono::steady_clock;

constexpr int kStopsPerDisplay = 16;
constexpr milliseconds kStopWithin{5000};
constexpr milliseconds kStartBound{60000};  // against a hang only

// Damaged pictures, noise between frames, then clean pictures: about 1.5 s
// of replay, so that the moments fall before, during and after it.
const Bytes& ImpairedRecording() {
    static const Bytes recording = [] {
        Impairments impairments;
        impairments.seed = 21;
        impairments.bitFlipRate = 8e-4;
        impairments.dropRate = 1.0 / 40;
        impairments.frameRepeatRate = 1.0 / 40;
        Bytes bytes = Framed(MarkedPictures(640, 360, 24, 1, 6), impairments);
        Append(bytes, LinkNoise(400000, 22));
        Append(bytes, Framed(Closed(MarkedPictures(640, 360, 12, 101, 6))));
        return bytes;
    }();
    return recording;
}

milliseconds ReplayTime(const Bytes& recording) {
    return milliseconds(recording.size() / replay_pace::kChunkBytes * replay_pace::kPauseMs);
}

uint32_t Seed() {
    const char* text = std::getenv("DLP_STOP_SEED");
    return text != nullptr ? static_cast<uint32_t>(std::strtoul(text, nullptr, 10)) : 20u;
}

class StopStress : public testing::TestWithParam<Display> {};

TEST_P(StopStress, EveryStopIsOrderlyAndQuick) {
    const Bytes& recording = ImpairedRecording();
    const uint32_t seed = Seed() + static_cast<uint32_t>(GetParam());
    std::mt19937 random(seed);
    std::uniform_int_distribution<int> moment(0, static_cast<int>(ReplayTime(recording).count()) + 300);
    milliseconds slowest{0};
    for (int i = 0; i < kStopsPerDisplay; ++i) {
        const int signal = random() % 2 == 0 ? SIGTERM : SIGINT;
        const milliseconds delay{moment(random)};
        SCOPED_TRACE("seed " + std::to_string(seed) + ", stop " + std::to_string(i) + ": signal " +
                     std::to_string(signal) + " " + std::to_string(delay.count()) + " ms after start-up");
        WorkFolder folder;
        folder.WriteRecording(recording);
        PlayerOptions options;
        options.display = GetParam();
        PlayerProcess player(DLP_PLAYER_PATH, folder, options);
        ASSERT_TRUE(player.WaitUntilCatching(SIGINT, SIGTERM, kStartBound)) << player.Stderr();
        std::this_thread::sleep_for(delay);
        const auto sent = Clock::now();
        EXPECT_EQ(player.StopWith(signal, kStopWithin), 0) << player.Stderr();
        slowest = std::max(slowest, std::chrono::duration_cast<milliseconds>(Clock::now() - sent));
    }
    std::cout << kStopsPerDisplay << " stops, the slowest in " << slowest.count() << " ms\n";
}

INSTANTIATE_TEST_SUITE_P(Displays, StopStress, testing::Values(Display::kInherited, Display::kNone),
                         [](const testing::TestParamInfo<Display>& info) {
                             return info.param == Display::kNone ? "NoDisplay" : "Xvfb";
                         });

// The bound itself: a process that will not stop fails the test with its
// threads' stacks and is killed.
TEST(StopBound, AHangFailsWithEveryThreadsStack) {
    WorkFolder folder;
    PlayerOptions options;
    options.arguments = {"-c", "trap '' TERM; sleep 30"};  // the sleep ignores SIGTERM too
    PlayerProcess hung("/bin/sh", folder, options);
    const std::string self = std::to_string(hung.Pid());
    const std::string childList = "/proc/" + self + "/task/" + self + "/children";
    for (int i = 0; i < 500 && ReadFile(childList).empty(); ++i) std::this_thread::sleep_for(milliseconds(10));
    const pid_t sleeper = static_cast<pid_t>(std::atoi(ReadFile(childList).c_str()));
    ASSERT_GT(sleeper, 0);
    testing::TestPartResultArray failures;
    int status = 0;
    {
        testing::ScopedFakeTestPartResultReporter reporter(
            testing::ScopedFakeTestPartResultReporter::INTERCEPT_ONLY_CURRENT_THREAD, &failures);
        status = hung.Stop(milliseconds(300));
    }
    ASSERT_EQ(failures.size(), 1);
    const std::string message = failures.GetTestPartResult(0).message();
    EXPECT_NE(message.find("still running 300 ms after signal 15; killed"), std::string::npos) << message;
    EXPECT_NE(message.find("#0 "), std::string::npos) << "a backtrace's first frame:\n" << message;
    EXPECT_NE(message.find("sleep"), std::string::npos) << "the shell's child too:\n" << message;
    kill(sleeper, SIGKILL);  // only the shell was killed
    EXPECT_EQ(status, 128 + SIGKILL);
    EXPECT_FALSE(hung.Running());
}

}  // namespace
