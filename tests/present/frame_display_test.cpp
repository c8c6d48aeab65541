// The picture display: what each channel shows, and the one window on a
// real X display (Xvfb in the test command).

#include <gtest/gtest.h>

#include <opencv2/highgui.hpp>
#include <unistd.h>

#include "tests/support/pipeline_harness.h"
#include "tests/support/x_display.h"

namespace {

using test_pipeline::Bytes;

constexpr Presentation kWindowOnly{/*window=*/true, /*lines=*/false, /*firstUnitLine=*/true};
constexpr int kWidth = 1920;
constexpr int kHeight = 1080;

// Every pixel tells where it came from: red and green hold the row and
// column modulo 256, blue their high parts.
Bytes PositionPattern() {
    Bytes rgb(size_t(kWidth) * kHeight * 3);
    for (int y = 0; y < kHeight; ++y) {
        for (int x = 0; x < kWidth; ++x) {
            uint8_t* p = &rgb[(size_t(y) * kWidth + x) * 3];
            p[0] = static_cast<uint8_t>(y);
            p[1] = static_cast<uint8_t>(x);
            p[2] = static_cast<uint8_t>((y >> 8) | ((x >> 8) << 4));
        }
    }
    return rgb;
}

bool CameFrom(const uint8_t* p, int y, int x) {
    return p[0] == uint8_t(y) && p[1] == uint8_t(x) && p[2] == uint8_t((y >> 8) | ((x >> 8) << 4));
}

std::unique_ptr<DecodeData> Presenter(int32_t videoType, int32_t width, int32_t height) {
    auto pipeline = test_pipeline::Bare();
    pipeline->videoType = videoType;
    pipeline->picWidth = width;
    pipeline->picHeight = height;
    return pipeline;
}

TEST(FrameDisplay, ChannelZeroShowsTheCentredWindowOfTheFullPicture) {
    auto pipeline = Presenter(0, kWidth, kHeight);
    test_pipeline::PictureLog shown(*pipeline);
    const Bytes picture = PositionPattern();
    pipeline->ShowFrame(picture.data(), TelemetryRecord{});
    ASSERT_EQ(shown.pictures.size(), 1u);
    const auto& crop = shown.pictures[0];
    ASSERT_EQ(crop.width, 1280);
    ASSERT_EQ(crop.height, 1024);
    for (int y = 0; y < 1024; ++y) {
        for (int x = 0; x < 1280; ++x) {
            ASSERT_TRUE(CameFrom(&crop.rgb[(size_t(y) * 1280 + x) * 3], y + 28, x + 320))
                << "shown pixel " << x << "," << y;
        }
    }
}

TEST(FrameDisplay, ChannelOneAndOtherSizesShowThePictureWhole) {
    for (const auto& [type, width, height] :
         {std::tuple{1, kWidth, kHeight}, std::tuple{0, 320, 240}, std::tuple{0, 1920, 1050},
          std::tuple{1, 320, 240}, std::tuple{0, 1280, 1080}, std::tuple{0, 1920, 1051}}) {
        auto pipeline = Presenter(type, width, height);
        test_pipeline::PictureLog shown(*pipeline);
        Bytes picture(size_t(width) * height * 3);
        for (size_t i = 0; i < picture.size(); ++i) picture[i] = static_cast<uint8_t>(i * 7);
        pipeline->ShowFrame(picture.data(), TelemetryRecord{});
        ASSERT_EQ(shown.pictures.size(), 1u);
        EXPECT_EQ(shown.pictures[0].width, width);
        EXPECT_EQ(shown.pictures[0].height, height);
        EXPECT_EQ(shown.pictures[0].rgb, picture) << "channel " << type << " " << width << "x" << height;
    }
}

// A window that cannot show a picture (here an empty one, which the colour
// conversion refuses) is turned off once, with one notice; the lines go on.
TEST(FrameDisplay, AWindowThatCannotShowTurnsOffAndTheLinesGoOn) {
    auto pipeline = Presenter(1, 0, 0);
    pipeline->Present(Presentation{});
    const uint8_t nothing = 0;
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    pipeline->ShowFrame(&nothing, TelemetryRecord{});
    pipeline->ShowFrame(&nothing, TelemetryRecord{});
    const std::string lines = testing::internal::GetCapturedStdout();
    const std::string notices = testing::internal::GetCapturedStderr();
    EXPECT_FALSE(pipeline->ShowsWindow());
    EXPECT_EQ(lines, "1,video:1,Az:0,Pt:90,Lon:0,Lat:0,H:0\n2,video:1,Az:0,Pt:90,Lon:0,Lat:0,H:0\n");
    const size_t first = notices.find("window unavailable");
    ASSERT_NE(first, std::string::npos) << notices;
    EXPECT_EQ(notices.find("window unavailable", first + 1), std::string::npos) << notices;
}

// The window tests look at the display from outside, as a user's tools do,
// on an X server of their own so that no other test's window covers theirs.
class FrameWindow : public ::testing::Test {
protected:
    void SetUp() override {
        if (!test_x::HaveDisplay()) GTEST_SKIP() << "no X display (DISPLAY unset)";
        server_ = std::make_unique<test_x::PrivateServer>();
        if (!server_->Started()) GTEST_SKIP() << "Xvfb could not be started";
    }
    std::unique_ptr<test_x::PrivateServer> server_;
    static void LetTheWindowSettle() {
        for (int i = 0; i < 20; ++i) cv::waitKey(10);
    }
    static std::vector<std::string> OurWindows() {
        return test_x::WindowsNamed("RGB Image", getpid());
    }
};

// One test body: OpenCV keeps its window for the life of the process.
TEST_F(FrameWindow, OneWindowShowsRedAsRedAndChannelZerosCropCorners) {
    auto pipeline = Presenter(1, 320, 240);
    pipeline->Present(kWindowOnly);
    Bytes red(320 * 240 * 3, 0);
    for (size_t i = 0; i < red.size(); i += 3) red[i] = 255;
    for (int i = 0; i < 5; ++i) pipeline->ShowFrame(red.data(), TelemetryRecord{});
    LetTheWindowSettle();

    const auto windows = OurWindows();
    ASSERT_EQ(windows.size(), 1u) << test_x::Run("xwininfo -root -tree");
    auto shot = test_x::Screenshot(windows[0]);
    ASSERT_TRUE(shot.has_value());
    const uint8_t* centre = shot->At(shot->width / 2, shot->height / 2);
    EXPECT_GE(centre[0], 240);
    EXPECT_LE(centre[1], 15);
    EXPECT_LE(centre[2], 15);

    // Channel 0: quadrants of the crop in four colours, the band around it
    // that must never appear in magenta.
    auto channel0 = Presenter(0, kWidth, kHeight);
    channel0->Present(kWindowOnly);
    Bytes quadrants(size_t(kWidth) * kHeight * 3);
    for (int y = 0; y < kHeight; ++y) {
        for (int x = 0; x < kWidth; ++x) {
            uint8_t* p = &quadrants[(size_t(y) * kWidth + x) * 3];
            const bool inside = y >= 28 && y <= 1051 && x >= 320 && x <= 1599;
            const bool top = y < 540;
            const bool left = x < 960;
            if (!inside) {
                p[0] = 255, p[1] = 0, p[2] = 255;
            } else if (top && left) {
                p[0] = 255, p[1] = 0, p[2] = 0;
            } else if (top) {
                p[0] = 0, p[1] = 255, p[2] = 0;
            } else if (left) {
                p[0] = 0, p[1] = 0, p[2] = 255;
            } else {
                p[0] = 255, p[1] = 255, p[2] = 0;
            }
        }
    }
    channel0->ShowFrame(quadrants.data(), TelemetryRecord{});
    LetTheWindowSettle();
    ASSERT_EQ(OurWindows().size(), 1u);
    shot = test_x::Screenshot(windows[0]);
    ASSERT_TRUE(shot.has_value());

    struct Area {
        long count = 0;
        double x = 0, y = 0;
    };
    Area red_, green, blue, yellow;
    long magenta = 0;
    for (int y = 0; y < shot->height; ++y) {
        for (int x = 0; x < shot->width; ++x) {
            const uint8_t* p = shot->At(x, y);
            const bool r = p[0] > 200, g = p[1] > 200, b = p[2] > 200;
            const bool r0 = p[0] < 50, g0 = p[1] < 50, b0 = p[2] < 50;
            Area* area = nullptr;
            if (r && g0 && b0) area = &red_;
            if (r0 && g && b0) area = &green;
            if (r0 && g0 && b) area = &blue;
            if (r && g && b0) area = &yellow;
            if (r && g0 && b) ++magenta;
            if (area) ++area->count, area->x += x, area->y += y;
        }
    }
    EXPECT_EQ(magenta, 0) << "rows 0-27, 1052-1079 or columns 0-319, 1600-1919 appeared";
    for (Area* a : {&red_, &green, &blue, &yellow}) {
        ASSERT_GT(a->count, 1000);
        a->x /= a->count;
        a->y /= a->count;
    }
    EXPECT_LT(red_.x, green.x);
    EXPECT_LT(blue.x, yellow.x);
    EXPECT_LT(red_.y, blue.y);
    EXPECT_LT(green.y, yellow.y);
}

}  // namespace
