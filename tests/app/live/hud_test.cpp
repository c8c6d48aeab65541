// The HUD as drawn: what it says in each state, that it keeps to the edges
// of pictures of any size and leaves the middle alone, and that its text
// grows with the picture so that it stays readable when the window shrinks.

#include <gtest/gtest.h>

#include <opencv2/core.hpp>

#include "lib/live/hud.h"

namespace {

using live::HudState;
using live::LinkCondition;

std::string Joined(const std::vector<std::string>& lines) {
    std::string out;
    for (const std::string& line : lines) out += line + "|";
    return out;
}

TEST(HudText, SaysTheTelemetryTheLinkAndTheAge) {
    HudState state;
    state.hasTelemetry = true;
    state.values = {12.5f, -3.25f, 116.401, 39.9042, 1500.0};
    state.bitsPerSecond = 3.9e6;
    state.ageSeconds = 0.04;
    const struct {
        LinkCondition condition;
        bool stale;
        const char* topRight;
    } cases[] = {
        {LinkCondition::kReceiving, false, "RECEIVING|"},
        {LinkCondition::kWaitingForKey, true, "WAITING FOR KEY PICTURE|STALE|"},
        {LinkCondition::kQuiet, true, "QUIET 3 s|STALE|"},
    };
    for (const auto& c : cases) {
        state.condition = c.condition;
        state.stale = c.stale;
        state.quietSeconds = 3.2;
        const live::HudText text = live::MakeHudText(state);
        EXPECT_EQ(Joined(text.topRight), c.topRight);
        EXPECT_EQ(Joined(text.topLeft), "Lat 39.904200  Lon 116.401000|H 1500.0 m  Az 12.50 deg  Pt -3.25 deg|");
        EXPECT_EQ(Joined(text.bottomLeft), "picture 0.0 s old  3.90 Mbit/s|");
    }
    state.hasTelemetry = false;
    state.bitsPerSecond = 96000;
    EXPECT_TRUE(live::MakeHudText(state).topLeft.empty());
    EXPECT_EQ(Joined(live::MakeHudText(state).bottomLeft), "picture 0.0 s old  96 kbit/s|");
}

// Rows the HUD changed, as a share of the picture's height, from the top
// and from the bottom.
struct Band {
    double top = 0;
    double bottom = 0;
    bool middleChanged = false;
};

Band DrawnBand(int width, int height, bool stale) {
    cv::Mat picture(height, width, CV_8UC3, cv::Scalar(90, 120, 60));
    const cv::Mat before = picture.clone();
    HudState state;
    state.hasTelemetry = true;
    state.values = {359.99f, 89.9f, -179.999999, -89.999999, 12345.6};
    state.stale = stale;
    live::DrawHud(picture, state, true);
    Band band;
    int lastTop = -1;
    int firstBottom = height;
    for (int y = 0; y < height; ++y) {
        bool changed = false;
        for (int x = width / 100 + 8; x < width - width / 100 - 8 && !changed; ++x) {
            changed = picture.at<cv::Vec3b>(y, x) != before.at<cv::Vec3b>(y, x);
        }
        if (!changed) continue;
        if (y < height / 2) lastTop = y;
        if (y >= height / 2) firstBottom = std::min(firstBottom, y);
        if (y > height * 3 / 10 && y < height * 7 / 10) band.middleChanged = true;
    }
    band.top = (lastTop + 1) / static_cast<double>(height);
    band.bottom = (height - firstBottom) / static_cast<double>(height);
    return band;
}

TEST(HudDrawing, KeepsToTheEdgesAndScalesWithThePicture) {
    for (const cv::Size size : {cv::Size(1920, 1080), cv::Size(1280, 720), cv::Size(640, 360)}) {
        const Band band = DrawnBand(size.width, size.height, false);
        EXPECT_FALSE(band.middleChanged) << size;
        EXPECT_GT(band.top, 0.05) << size;
        EXPECT_LT(band.top, 0.15) << size << ": the same share of any picture";
        EXPECT_GT(band.bottom, 0.02) << size;
        EXPECT_LT(band.bottom, 0.1) << size;
    }
}

TEST(HudDrawing, AStalePictureIsFramedRedWithOrWithoutText) {
    for (const bool text : {true, false}) {
        cv::Mat picture(360, 640, CV_8UC3, cv::Scalar(128, 128, 128));
        HudState state;
        state.stale = true;
        live::DrawHud(picture, state, text);
        const cv::Vec3b edge = picture.at<cv::Vec3b>(180, 1);
        EXPECT_GT(edge[2], 200) << "red";
        EXPECT_LT(edge[1], 80);
        EXPECT_EQ(picture.at<cv::Vec3b>(180, 320), cv::Vec3b(128, 128, 128)) << "the middle untouched";
    }
}

}  // namespace
