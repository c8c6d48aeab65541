// The sample's exports as a viewer first sees them: opened in mpv with no
// subtitle option, in a window of a private Xvfb, the telemetry shows and
// fits inside the picture.

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/player_process.h"
#include "tests/support/x_display.h"

namespace {

using std::chrono::milliseconds;
using test_player::Display;
using test_player::PlayerOptions;
using test_player::PlayerProcess;
using test_player::WorkFolder;

const std::string kSample = DLP_SAMPLE_PATH;
const std::string kTitle = "exported-in-mpv";
// mpv opening a 1080p file and seeking takes a second or two; this bounds a
// player that never shows its window, for a sanitized suite on a busy machine.
constexpr milliseconds kWindowBound{120000};

struct Box {
    int left, top, right, bottom;  // inclusive; right < left when empty
};

// Pixels that differ clearly between two screenshots of the same picture,
// which tells the subtitle's text and outline apart from the video.
Box Difference(const test_x::Image& a, const test_x::Image& b) {
    Box box{a.width, a.height, -1, -1};
    for (int y = 0; y < a.height; ++y) {
        for (int x = 0; x < a.width; ++x) {
            const uint8_t* p = a.At(x, y);
            const uint8_t* q = b.At(x, y);
            const bool differs = std::abs(p[0] - q[0]) + std::abs(p[1] - q[1]) + std::abs(p[2] - q[2]) > 60;
            if (!differs) continue;
            box = {std::min(box.left, x), std::min(box.top, y), std::max(box.right, x), std::max(box.bottom, y)};
        }
    }
    return box;
}

bool SameImage(const test_x::Image& a, const test_x::Image& b) {
    return a.width == b.width && a.height == b.height && a.rgb == b.rgb;
}

class ExportInMpv : public ::testing::TestWithParam<const char*> {
protected:
    void SetUp() override {
        if (std::system("command -v mpv >/dev/null 2>&1") != 0) GTEST_SKIP() << "mpv is not installed";
        const std::string command = "cd '" + folder_.Path() + "' && '" EXPORT_RECORDING "' -q '" + kSample +
                                    "' -o " + Exported() + " >export.log 2>&1";
        ASSERT_EQ(std::system(command.c_str()), 0) << test_player::ReadFile(folder_.Path() + "/export.log");
    }

    std::string Exported() const { return std::string("sample.") + GetParam(); }

    // The window's content once mpv has drawn the paused picture: two equal
    // screenshots in a row. `extra` is added to a user's plain command line.
    std::optional<test_x::Image> PausedPicture(const std::vector<std::string>& extra) {
        PlayerOptions options;
        options.display = Display::kInherited;
        // The x11 output draws subtitles as every output does and needs no
        // OpenGL from the virtual server; no configuration of the machine's
        // user takes part; the status display stays off the picture.
        options.arguments = {"--no-config", "--vo=x11", "--ao=null", "--osd-level=0", "--geometry=0:0",
                             "--title=" + kTitle, "--pause", "--start=2", folder_.Path() + "/" + Exported()};
        options.arguments.insert(options.arguments.end(), extra.begin(), extra.end());
        PlayerProcess mpv("mpv", folder_, options);
        std::optional<test_x::Image> last;
        const auto deadline = std::chrono::steady_clock::now() + kWindowBound;
        while (std::chrono::steady_clock::now() < deadline && mpv.Running()) {
            std::this_thread::sleep_for(milliseconds(300));
            const std::vector<std::string> windows = test_x::WindowsNamed(kTitle, mpv.Pid());
            if (windows.empty()) continue;
            auto shot = test_x::Screenshot(windows[0]);
            if (shot && last && SameImage(*shot, *last)) break;
            last = std::move(shot);
        }
        mpv.Stop();
        return last;
    }

    WorkFolder folder_;
};

TEST_P(ExportInMpv, TelemetrySubtitleShowsByDefaultWholeInsideThePicture) {
    test_x::PrivateServer server;
    if (!server.Started()) GTEST_SKIP() << "no Xvfb";
    const auto shown = PausedPicture({});
    const auto bare = PausedPicture({"--sid=no"});
    ASSERT_TRUE(shown && bare);
    ASSERT_EQ(shown->width, 1920);
    ASSERT_EQ(shown->height, 1080);
    ASSERT_EQ(bare->width, shown->width);
    ASSERT_EQ(bare->height, shown->height);

    const Box text = Difference(*shown, *bare);
    ASSERT_GE(text.right, text.left) << "no subtitle was shown";
    SCOPED_TRACE(std::to_string(text.left) + "," + std::to_string(text.top) + " to " + std::to_string(text.right) +
                 "," + std::to_string(text.bottom));
    // Whole: clear of both sides, not cut at the bottom edge, and in the
    // lower part of the picture, where it hides least.
    const int margin = shown->width / 50;
    EXPECT_GE(text.left, margin);
    EXPECT_LE(text.right, shown->width - 1 - margin);
    EXPECT_LT(text.bottom, shown->height - 1);
    EXPECT_GT(text.top, shown->height / 2);
    // Three lines, not one: the text is taller than a single line would be.
    EXPECT_GT(text.bottom - text.top, shown->height / 8);
}

INSTANTIATE_TEST_SUITE_P(Containers, ExportInMpv, ::testing::Values("mkv", "mp4"));

}  // namespace
