// The viewer's engine without its window: it follows a recording while it
// is written, settles when the writing stops, keeps the index in the cache
// file, and every picture it hands back is the one asked for. Its threads
// run under ThreadSanitizer with the other thread-touching tests.

#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include <opencv2/core.hpp>

#include "lib/view/index_cache.h"
#include "lib/view/view_engine.h"
#include "tests/view/view_recordings.h"

namespace {

using std::chrono::milliseconds;

// Generous: the engine settles 5 s after the last write.
constexpr auto kBound = std::chrono::seconds(60);

int PictureOf(const cv::Mat& bgr) {
    const auto grey = [&bgr](int x) { return static_cast<double>(bgr.at<cv::Vec3b>(bgr.rows / 2, x)[1]); };
    return PictureFromGreys(grey(bgr.cols / 4), grey(bgr.cols * 3 / 4));
}

template <typename Done>
bool WaitFor(Done done) {
    const auto end = std::chrono::steady_clock::now() + kBound;
    while (!done()) {
        if (std::chrono::steady_clock::now() > end) return false;
        std::this_thread::sleep_for(milliseconds(20));
    }
    return true;
}

ViewedPicture Fetch(ViewEngine& engine, int64_t number) {
    engine.Request(number);
    ViewedPicture picture;
    WaitFor([&] { return engine.Take(picture) && picture.number == number; });
    return picture;
}

TEST(ViewEngine, FollowsARecordingWhileItIsWrittenAndSettlesWhenItStops) {
    char name[] = "/tmp/dlp-view-engine-XXXXXX";
    ASSERT_NE(mkdtemp(name), nullptr);
    const std::string path = std::string(name) + "/live.dat";
    const std::vector<uint8_t> recording = MakeViewRecording({120, 25, 0, true, 1, {}});
    const size_t third = recording.size() / 3;
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(recording.data()), static_cast<std::streamsize>(third));
    out.flush();

    std::atomic<int> changes{0};
    ViewEngine engine(path, [&changes] { ++changes; });
    engine.Start();
    ASSERT_TRUE(WaitFor([&] { return engine.Progress().pictures > 10; }));
    EXPECT_TRUE(engine.Progress().following);
    EXPECT_FALSE(engine.Progress().complete);
    // The live end as it is now, while more is being written.
    const int64_t early = static_cast<int64_t>(engine.Progress().pictures);
    const ViewedPicture liveEnd = Fetch(engine, early);
    ASSERT_TRUE(liveEnd.decoded) << early;
    EXPECT_EQ(PictureOf(liveEnd.picture), early);

    for (size_t at = third; at < recording.size(); at += 4096) {
        const size_t size = std::min<size_t>(4096, recording.size() - at);
        out.write(reinterpret_cast<const char*>(recording.data() + at), static_cast<std::streamsize>(size));
        out.flush();
        std::this_thread::sleep_for(milliseconds(5));
        const int64_t now = static_cast<int64_t>(engine.Progress().pictures);
        if (now > 0 && at % (4096 * 8) == 0) engine.Request(now);
    }
    out.close();
    ASSERT_TRUE(WaitFor([&] { return engine.Progress().complete; })) << "settles once the writing stopped";
    EXPECT_EQ(engine.Progress().pictures, 120u);
    EXPECT_FALSE(engine.Progress().following);
    EXPECT_GT(changes.load(), 0);
    for (int64_t n : {120, 1, 60, 59, 26, 25, 119}) {
        const ViewedPicture picture = Fetch(engine, n);
        ASSERT_TRUE(picture.decoded) << n;
        EXPECT_EQ(PictureOf(picture.picture), n);
        EXPECT_EQ(picture.values.height, n) << "the picture's own record";
        EXPECT_FALSE(picture.damaged);
    }
    engine.Stop();

    PictureIndex cached;
    EXPECT_TRUE(index_cache::Load(path, cached)) << "the complete index is kept for the next opening";
    EXPECT_EQ(cached.Count(), 120u);
    std::remove(index_cache::BesidePath(path).c_str());
    std::remove(path.c_str());
    rmdir(name);
}

}  // namespace
