// The built player under valgrind's memcheck, end to end: a short recording,
// offscreen, then the orderly stop with SIGTERM. No invalid read or write and
// no definite leak may be found; valgrind's error exit code says so, and its
// summary is checked as well.

#include <gtest/gtest.h>

#include "tests/robustness/support/downlink_stream.h"
#include "tests/robustness/support/player_session.h"

namespace {

constexpr int kValgrindFoundErrors = 99;
constexpr int kPictures = 3;

SessionOptions UnderMemcheck() {
    SessionOptions options;
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
    PictureRequest request;
    request.width = 320;
    request.height = 180;
    request.count = kPictures;
    request.intraPeriod = kPictures;
    Bytes stream = PicturesWithTelemetry(EncodePictures(request), 1);
    Append(stream, StreamEnd());

    PlayerSession session(LinkFrames(stream), UnderMemcheck());
    session.Start();
    session.ReadUntil(
        [](const ConsoleLines& lines) { return CountMarkers(lines, kPictures, kPictures) > 0; },
        std::chrono::seconds(400));
    EXPECT_TRUE(session.StillRunning()) << session.Errors();
    const int status = session.Stop();

    EXPECT_EQ(CountMarkers(session.Lines(), 1, kPictures), kPictures);
    EXPECT_EQ(status, 0) << session.Errors();
    EXPECT_NE(session.Errors().find("ERROR SUMMARY: 0 errors"), std::string::npos)
        << session.Errors();
}

}  // namespace
