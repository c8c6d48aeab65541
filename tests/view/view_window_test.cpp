// downlink-view as a user drives it: a real window under a private Xvfb,
// keys and clicks from xdotool, and what it shows read back from
// screenshots. The recording's pictures tell their number in their greys,
// and their records give it as the height, so a screenshot says which
// picture is on screen and the saved PNG whose telemetry came with it.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <ctime>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <atomic>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/player_process.h"
#include "tests/support/x_display.h"
#include "tests/view/view_recordings.h"

namespace {

using test_player::Display;
using test_player::PlayerOptions;
using test_player::PlayerProcess;
using test_player::WorkFolder;
using std::chrono::milliseconds;

constexpr int kPictures = 250;
constexpr int kTrackWidth = 320;  // the panel's width in the window
constexpr int kTrackMargin = 24;
constexpr milliseconds kBound{10000};
const std::string kTitle = "flight.dat - downlink-view";

// A recording written a minute ago: complete, not one still being written.
void WriteRecording(const std::string& path, const std::vector<uint8_t>& bytes) {
    {
        std::ofstream out(path, std::ios::binary);
        out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    }
    const time_t aMinuteAgo = time(nullptr) - 60;
    const struct timespec times[2] = {{aMinuteAgo, 0}, {aMinuteAgo, 0}};
    utimensat(AT_FDCWD, path.c_str(), times, 0);
}

bool Dark(const uint8_t* p) { return p[0] < 8 && p[1] < 8 && p[2] < 8; }

// The green of the 5 x 5 pixels round (x, y), which the caller keeps two
// pixels inside the image.
double GreyAround(const test_x::Image& image, int x, int y) {
    double sum = 0;
    for (int dy = -2; dy <= 2; ++dy)
        for (int dx = -2; dx <= 2; ++dx) sum += image.At(x + dx, y + dy)[1];
    return sum / 25;
}

// Where the picture area ends: the track panel's dark blue-grey column
// ends where the seek bar starts.
int PictureAreaHeight(const test_x::Image& image) {
    const int x = image.width - 4;
    int y = 0;
    while (y < image.height && image.At(x, y)[2] >= 26 && image.At(x, y)[2] <= 30) ++y;
    return y;
}

// The picture shown: its extent along the area's middle row (black round
// it), then the greys of its two halves.
// -1 while the window is not drawn as laid out yet (a screenshot taken as
// it opens or resizes).
int ShownPicture(const test_x::Image& image) {
    const int y = PictureAreaHeight(image) / 2;
    const int areaWidth = image.width - kTrackWidth;
    if (y < 2 || y > image.height - 3 || areaWidth < 40) return -1;
    int left = 0, right = areaWidth - 1;
    while (left < areaWidth && Dark(image.At(left, y))) ++left;
    while (right > left && Dark(image.At(right, y))) --right;
    if (right - left < 20) return -1;
    const int width = right - left + 1;
    return PictureFromGreys(GreyAround(image, left + width / 4, y), GreyAround(image, left + width * 3 / 4, y));
}

class Viewer {
public:
    Viewer(const WorkFolder& folder, const std::string& recording) {
        PlayerOptions options;
        options.display = Display::kInherited;
        options.arguments = {recording};
        process_.emplace(DOWNLINK_VIEW, folder, options);
    }

    PlayerProcess& Process() { return *process_; }

    std::string Window() {
        auto deadline = process_->Deadline(kBound);
        while (!deadline.Passed() && process_->Running()) {
            const std::vector<std::string> windows = test_x::WindowsNamed(kTitle, process_->Pid());
            if (!windows.empty()) return windows[0];
            std::this_thread::sleep_for(milliseconds(100));
        }
        return {};
    }

    std::optional<test_x::Image> Shot() { return test_x::Screenshot(Window()); }

    void Keys(const std::string& keys) {
        test_x::Run("xdotool windowfocus --sync " + Window() + " key --delay 30 " + keys);
    }

    void Click(int x, int y) {
        test_x::Run("xdotool mousemove --window " + Window() + " " + std::to_string(x) + " " + std::to_string(y) +
                    " click 1");
    }

    void TypeInto(const std::string& title, const std::string& text) {
        auto deadline = process_->Deadline(kBound);
        std::vector<std::string> dialogs;
        while (dialogs.empty() && !deadline.Passed()) {
            std::this_thread::sleep_for(milliseconds(100));
            dialogs = test_x::WindowsNamed(title, process_->Pid());
        }
        ASSERT_FALSE(dialogs.empty()) << "no dialog " << title;
        test_x::Run("xdotool windowfocus --sync " + dialogs[0] + " type --delay 30 '" + text + "'");
        test_x::Run("xdotool windowfocus --sync " + dialogs[0] + " key Return");
    }

    // The picture on screen once it is `expected`, or the last one seen
    // when it never came.
    int WaitForPicture(int expected) {
        auto deadline = process_->Deadline(kBound);
        int shown = -1;
        while (!deadline.Passed()) {
            const auto shot = Shot();
            if (shot) shown = ShownPicture(*shot);
            if (shown == expected) return shown;
            std::this_thread::sleep_for(milliseconds(100));
        }
        return shown;
    }

    // The picture on screen when two screenshots half a second apart agree.
    int SteadyPicture() {
        int before = -2;
        auto deadline = process_->Deadline(kBound);
        while (!deadline.Passed()) {
            const auto shot = Shot();
            const int now = shot ? ShownPicture(*shot) : -1;
            if (now == before && now > 0) return now;
            before = now;
            std::this_thread::sleep_for(milliseconds(500));
        }
        return -1;
    }

private:
    std::optional<PlayerProcess> process_;
};

struct Step {
    const char* what;
    std::function<void(Viewer&, const test_x::Image&)> act;
    int expected;
};

// One viewer, driven through every way of moving about; each step starts
// from where the one before left it.
TEST(ViewWindow, EveryKeyAndClickShowsThePictureItNames) {
    test_x::PrivateServer server;
    if (!server.Started()) GTEST_SKIP() << "no Xvfb";
    WorkFolder folder;
    const std::string recording = folder.Path() + "/flight.dat";
    WriteRecording(recording, MakeViewRecording({kPictures, 25, 3, true, 1, {}}));
    Viewer viewer(folder, recording);
    ASSERT_EQ(viewer.WaitForPicture(1), 1) << "the first picture on opening";

    const auto key = [](const char* keys) { return [keys](Viewer& v, const test_x::Image&) { v.Keys(keys); }; };
    const auto goTo = [](const char* text) {
        return [text](Viewer& v, const test_x::Image&) {
            v.Keys("g");
            v.TypeInto("Go to", text);
        };
    };
    // The track runs straight east, one picture a step, fitted to the
    // panel's width within its margin.
    const auto trackAt = [](int picture) {
        return [picture](Viewer& v, const test_x::Image& shot) {
            const double usable = kTrackWidth - 2.0 * kTrackMargin;
            const int x = shot.width - kTrackWidth + kTrackMargin +
                          static_cast<int>(usable * (picture - 1) / (kPictures - 1) + 0.5);
            v.Click(x, PictureAreaHeight(shot) / 2);
        };
    };
    const auto seekBarAt = [](double share) {
        return [share](Viewer& v, const test_x::Image& shot) {
            v.Click(static_cast<int>(shot.width * share), PictureAreaHeight(shot) + 15);
        };
    };
    const Step steps[] = {
        {"three steps forward", key("period period period"), 4},
        {"a step back", key("comma"), 3},
        {"5 s forward", key("Right"), 128},
        {"5 s back", key("Left"), 3},
        {"1 s forward", key("shift+Right"), 28},
        {"the last picture", key("End"), kPictures},
        {"a step back from the end, across reordered pictures", key("comma"), kPictures - 1},
        {"the first picture", key("Home"), 1},
        {"1 min forward stops at the end", key("Up"), kPictures},
        {"1 min back stops at the start", key("Down"), 1},
        {"go to a time", goTo("4.8s"), 121},
        {"go to a number", goTo("200"), 200},
        {"back across a key picture", key("comma comma comma comma comma comma comma comma"), 192},
        {"a click in the middle of the seek bar", seekBarAt(0.5), 126},
        {"a click on the track", trackAt(60), 60},
    };
    for (const Step& step : steps) {
        SCOPED_TRACE(step.what);
        const auto shot = viewer.Shot();
        ASSERT_TRUE(shot);
        step.act(viewer, *shot);
        const int shown = viewer.WaitForPicture(step.expected);
        // A click lands on a pixel: the picture there may be the neighbour.
        const bool click = std::string(step.what).find("click") != std::string::npos;
        if (click) {
            EXPECT_NEAR(shown, step.expected, 1);
        } else {
            EXPECT_EQ(shown, step.expected);
        }
    }

    SCOPED_TRACE("pause holds the picture, play moves on, pause holds again");
    const int paused = viewer.SteadyPicture();
    EXPECT_GT(paused, 0);
    viewer.Keys("space");
    auto deadline = viewer.Process().Deadline(kBound);
    int playing = paused;
    while (playing <= paused + 5 && !deadline.Passed()) {
        const auto shot = viewer.Shot();
        if (shot) playing = std::max(playing, ShownPicture(*shot));
    }
    EXPECT_GT(playing, paused + 5);
    viewer.Keys("space");
    const int held = viewer.SteadyPicture();
    std::this_thread::sleep_for(milliseconds(1000));
    EXPECT_EQ(viewer.SteadyPicture(), held);
    viewer.Process().Stop();
}

// `s` saves the picture on screen in the working folder with its own
// telemetry line (the record gives the picture's number as the height).
TEST(ViewWindow, SavedPictureCarriesItsOwnTelemetryLine) {
    test_x::PrivateServer server;
    if (!server.Started()) GTEST_SKIP() << "no Xvfb";
    WorkFolder folder;
    const std::string recording = folder.Path() + "/flight.dat";
    WriteRecording(recording, MakeViewRecording({60, 10, 3, true, 1, {}}));
    Viewer viewer(folder, recording);
    ASSERT_EQ(viewer.WaitForPicture(1), 1);
    viewer.Keys("period period period period period period");
    ASSERT_EQ(viewer.WaitForPicture(7), 7);
    viewer.Keys("s");
    const std::string png = folder.Path() + "/flight-000007.png";
    auto deadline = viewer.Process().Deadline(kBound);
    while (test_player::ReadFile(png).find("IEND") == std::string::npos && !deadline.Passed()) {
        std::this_thread::sleep_for(milliseconds(100));
    }
    // Qt compresses a text this long (zTXt); ImageMagick reads it as any
    // reader of PNG text does.
    EXPECT_EQ(test_x::Run("identify -format '%[Telemetry]' '" + png + "'"),
              "7,video:1,Az:3.4992,Pt:44.9993,Lon:116.401,Lat:39.9,H:7");
    viewer.Process().Stop();
}

// A recording that downlink-live is writing: End follows its end as it
// grows, a step back holds a picture while it goes on growing, End returns
// to the end, and once the link is over the last picture is there too.
TEST(ViewWindow, FollowsARecordingDownlinkLiveIsWritingAndReturnsToItsEnd) {
    test_x::PrivateServer server;
    if (!server.Started()) GTEST_SKIP() << "no Xvfb";
    WorkFolder folder;
    const std::vector<uint8_t> link = MakeViewRecording({kPictures, 25, 0, true, 1, {}});
    const std::string incoming = folder.Path() + "/incoming.dat";
    const std::string recording = folder.Path() + "/flight.dat";
    std::ofstream(incoming, std::ios::binary).flush();
    // The link arrives over some ten seconds, as a slow modem hands it on;
    // whatever ends the test stops it first.
    struct Modem {
        std::atomic<bool> stop{false};
        std::thread thread;
        ~Modem() {
            stop = true;
            if (thread.joinable()) thread.join();
        }
    } modem;
    std::atomic<bool>& stop = modem.stop;
    modem.thread = std::thread([&] {
        std::ofstream out(incoming, std::ios::binary | std::ios::app);
        const size_t step = link.size() / 100;
        for (size_t at = 0; at < link.size() && !stop; at += step) {
            out.write(reinterpret_cast<const char*>(link.data() + at),
                      static_cast<std::streamsize>(std::min(step, link.size() - at)));
            out.flush();
            std::this_thread::sleep_for(milliseconds(100));
        }
    });
    PlayerOptions liveOptions;
    liveOptions.arguments = {"-q", "--record", recording, incoming};
    PlayerProcess live(DOWNLINK_LIVE, folder, liveOptions);
    auto deadline = live.Deadline(kBound);
    while (test_player::ReadFile(recording).size() < link.size() / 5 && !deadline.Passed()) {
        std::this_thread::sleep_for(milliseconds(50));
    }

    Viewer viewer(folder, recording);
    ASSERT_EQ(viewer.WaitForPicture(1), 1);
    viewer.Keys("End");
    std::this_thread::sleep_for(milliseconds(500));
    const auto atEnd = viewer.Shot();
    ASSERT_TRUE(atEnd);
    const int first = ShownPicture(*atEnd);
    std::this_thread::sleep_for(milliseconds(1500));
    const auto later = viewer.Shot();
    ASSERT_TRUE(later);
    EXPECT_GT(ShownPicture(*later), first) << "the live end moves on";

    viewer.Keys("comma");
    const int held = viewer.SteadyPicture();
    std::this_thread::sleep_for(milliseconds(1000));
    EXPECT_EQ(viewer.SteadyPicture(), held) << "a step back holds while the recording grows";

    viewer.Keys("End");
    deadline = viewer.Process().Deadline(kBound);
    int back = held;
    while (back <= held + 5 && !deadline.Passed()) {
        const auto shot = viewer.Shot();
        if (shot) back = std::max(back, ShownPicture(*shot));
    }
    EXPECT_GT(back, held + 5) << "End returns to the live end";

    modem.thread.join();
    EXPECT_EQ(viewer.WaitForPicture(kPictures), kPictures) << "the link's last picture, once it is over";
    viewer.Process().Stop();
    live.Stop();
}

}  // namespace
