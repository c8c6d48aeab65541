// A picture of four slices in the real window, on an X server of the test's
// own: the last slice's rows show what was sent, not the decoder's
// uninitialised green that a picture decoded slice by slice leaves there.

#include <gtest/gtest.h>

#include <opencv2/highgui.hpp>
#include <unistd.h>

#include <algorithm>
#include <cstring>

#include "tests/support/pipeline_harness.h"
#include "tests/support/x_display.h"
#include "lib/making/pattern_encoder.h"
#include "lib/making/stream_builder.h"

namespace {

constexpr int kWidth = 640;
constexpr int kHeight = 360;

// Red above the middle, blue below it.
void RedOverBlue(int, int width, int height, uint8_t* rgb) {
    for (int y = 0; y < height; ++y) {
        const uint8_t colour[3] = {uint8_t(y < height / 2 ? 255 : 0), 0, uint8_t(y < height / 2 ? 0 : 255)};
        for (int x = 0; x < width; ++x) std::memcpy(rgb + (size_t(y) * width + x) * 3, colour, 3);
    }
}

TEST(WholePictureWindow, TheLastSliceOfAFourSlicePictureIsShown) {
    if (!test_x::HaveDisplay()) GTEST_SKIP() << "no X display (DISPLAY unset)";
    test_x::PrivateServer server;
    if (!server.Started()) GTEST_SKIP() << "Xvfb could not be started";

    PatternOptions options;
    options.width = kWidth;
    options.height = kHeight;
    options.frames = 3;
    options.slices = 4;
    std::vector<uint8_t> es;
    std::string error;
    ASSERT_TRUE(EncodePictures(options, RedOverBlue, es, error)) << error;
    AppendEndOfBitstream(es);

    auto pipeline = test_pipeline::WithDecoder();
    pipeline->Present({/*window=*/true, /*lines=*/false, /*firstUnitLine=*/true});
    test_pipeline::Split(*pipeline, es, 480);
    ASSERT_EQ(pipeline->frameCount, 3);
    for (int i = 0; i < 20; ++i) cv::waitKey(10);

    const auto windows = test_x::WindowsNamed("RGB Image", getpid());
    ASSERT_EQ(windows.size(), 1u) << test_x::Run("xwininfo -root -tree");
    const auto shot = test_x::Screenshot(windows[0]);
    ASSERT_TRUE(shot.has_value());
    // The window has bars of its own around the picture: find the two halves
    // by colour. Whole, the blue half is as large as the red one, below it.
    long red = 0, blue = 0;
    double redY = 0, blueY = 0;
    for (int y = 0; y < shot->height; ++y) {
        for (int x = 0; x < shot->width; ++x) {
            const uint8_t* p = shot->At(x, y);
            if (p[0] > 200 && p[1] < 60 && p[2] < 60) ++red, redY += y;
            if (p[0] < 60 && p[1] < 60 && p[2] > 200) ++blue, blueY += y;
        }
    }
    ASSERT_GT(red, kWidth * kHeight / 4);
    EXPECT_GT(blue, red * 9 / 10) << "the lower slices are missing";
    EXPECT_LT(blue, red * 11 / 10);
    EXPECT_GT(blueY / std::max(blue, 1L), redY / red);
}

}  // namespace
