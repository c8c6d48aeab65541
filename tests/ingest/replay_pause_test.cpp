// The pause between replayed chunks: on the application's thread it serves
// the events the worker's window calls are queued as, elsewhere it only
// sleeps; either way it never ends early.

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QTimer>
#include <chrono>
#include <thread>

#include "pipeline/ingest/replay_pause.h"

namespace {

using std::chrono::milliseconds;
using std::chrono::steady_clock;

constexpr int kPauseMs = 20;

milliseconds TimedPause() {
    const auto start = steady_clock::now();
    PauseReplay(kPauseMs);
    return std::chrono::duration_cast<milliseconds>(steady_clock::now() - start);
}

TEST(ReplayPause, ServesEventsOnlyOnTheApplicationsThread) {
    int argc = 1;
    char name[] = "replay_pause_test";
    char* argv[] = {name, nullptr};
    QCoreApplication app(argc, argv);

    bool servedDuringPause = false;
    QTimer::singleShot(0, &app, [&] { servedDuringPause = true; });
    EXPECT_GE(TimedPause().count(), kPauseMs);
    EXPECT_TRUE(servedDuringPause);

    bool servedDuringOtherPause = false;
    QTimer::singleShot(0, &app, [&] { servedDuringOtherPause = true; });
    milliseconds otherPause{0};
    std::thread other([&] { otherPause = TimedPause(); });
    other.join();
    EXPECT_GE(otherPause.count(), kPauseMs);
    EXPECT_FALSE(servedDuringOtherPause) << "served off the application's thread";
    QCoreApplication::processEvents();
    EXPECT_TRUE(servedDuringOtherPause);
}

}  // namespace
