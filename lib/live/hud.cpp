#include "lib/live/hud.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>

namespace live {

namespace {

constexpr int kFont = cv::FONT_HERSHEY_SIMPLEX;
// Text height as a share of the picture's: about 30 pixels at 1080 lines,
// still some 15 on a screen where the window is shrunk to half its size.
constexpr double kTextShare = 0.028;
// Hershey's simplex font is about 22 pixels high at scale 1.
constexpr double kFontPixelsAtScaleOne = 22.0;

const cv::Scalar kWhite(255, 255, 255);
const cv::Scalar kBlack(0, 0, 0);
const cv::Scalar kGreen(80, 220, 80);
const cv::Scalar kAmber(0, 190, 255);
const cv::Scalar kRed(40, 40, 230);

std::string Format(const char* format, double a, double b = 0, double c = 0) {
    char text[128];
    std::snprintf(text, sizeof text, format, a, b, c);
    return text;
}

std::string RateText(double bitsPerSecond) {
    if (bitsPerSecond >= 1e6) return Format("%.2f Mbit/s", bitsPerSecond / 1e6);
    return Format("%.0f kbit/s", bitsPerSecond / 1e3);
}

std::string ConditionText(const HudState& state) {
    switch (state.condition) {
        case LinkCondition::kQuiet: return Format("QUIET %.0f s", state.quietSeconds);
        case LinkCondition::kWaitingForKey: return "WAITING FOR KEY PICTURE";
        case LinkCondition::kReceiving: break;
    }
    return "RECEIVING";
}

HudTone ConditionTone(LinkCondition condition) {
    switch (condition) {
        case LinkCondition::kQuiet: return HudTone::kWarning;
        case LinkCondition::kWaitingForKey: return HudTone::kAlarm;
        case LinkCondition::kReceiving: break;
    }
    return HudTone::kGood;
}

cv::Scalar ToneColour(HudTone tone) {
    switch (tone) {
        case HudTone::kGood: return kGreen;
        case HudTone::kWarning: return kAmber;
        case HudTone::kAlarm: return kRed;
        case HudTone::kPlain: break;
    }
    return kWhite;
}

struct Pen {
    double scale;
    int thickness;
    int lineHeight;
    int margin;
};

Pen PenFor(int rows) {
    const double pixels = std::max(10.0, rows * kTextShare);
    Pen pen;
    pen.scale = pixels / kFontPixelsAtScaleOne;
    pen.thickness = std::max(1, static_cast<int>(std::lround(pixels / 14.0)));
    pen.lineHeight = static_cast<int>(std::lround(pixels * 1.5));
    pen.margin = static_cast<int>(std::lround(pixels * 0.6));
    return pen;
}

// Light text in a dark outline reads on any picture. Anti-aliased strokes
// would cost several milliseconds a picture at 1080 lines, on the path
// every picture takes to the window; plain ones cost a fraction of one.
void Write(cv::Mat& bgr, const std::string& text, cv::Point at, const Pen& pen, const cv::Scalar& colour) {
    cv::putText(bgr, text, at, kFont, pen.scale, kBlack, pen.thickness + 2 * std::max(1, pen.thickness / 2) + 1,
                cv::LINE_8);
    cv::putText(bgr, text, at, kFont, pen.scale, colour, pen.thickness, cv::LINE_8);
}

int WidthOf(const std::string& text, const Pen& pen) {
    int baseline = 0;
    return cv::getTextSize(text, kFont, pen.scale, pen.thickness, &baseline).width;
}

}  // namespace

std::vector<std::string> TelemetryHudLines(const TelemetryValues& v) {
    return {Format("Lat %.6f  Lon %.6f", v.latitude, v.longitude),
            Format("H %.1f m  Az %.2f deg  Pt %.2f deg", v.height, v.azimuth, v.pitch)};
}

HudText MakeHudText(const HudState& state) {
    HudText text;
    if (state.hasTelemetry) text.topLeft = TelemetryHudLines(state.values);
    text.topRight.push_back(ConditionText(state));
    text.topRightTones.push_back(ConditionTone(state.condition));
    if (state.stale) {
        text.topRight.push_back("STALE");
        text.topRightTones.push_back(HudTone::kAlarm);
    }
    text.bottomLeft.push_back(Format("picture %.1f s old  ", state.ageSeconds) + RateText(state.bitsPerSecond));
    return text;
}

void DrawDistrustFrame(cv::Mat& bgr) {
    const int border = std::max(3, bgr.rows / 90);
    cv::rectangle(bgr, cv::Rect(0, 0, bgr.cols, bgr.rows), kRed, 2 * border);
}

void DrawHudText(cv::Mat& bgr, const HudText& lines) {
    if (bgr.empty()) return;
    const Pen pen = PenFor(bgr.rows);
    int y = pen.margin + pen.lineHeight * 2 / 3;
    for (const std::string& line : lines.topLeft) {
        Write(bgr, line, {pen.margin, y}, pen, kWhite);
        y += pen.lineHeight;
    }
    y = pen.margin + pen.lineHeight * 2 / 3;
    for (size_t i = 0; i < lines.topRight.size(); ++i) {
        const std::string& line = lines.topRight[i];
        const HudTone tone = i < lines.topRightTones.size() ? lines.topRightTones[i] : HudTone::kPlain;
        Write(bgr, line, {bgr.cols - pen.margin - WidthOf(line, pen), y}, pen, ToneColour(tone));
        y += pen.lineHeight;
    }
    y = bgr.rows - pen.margin - pen.lineHeight * static_cast<int>(lines.bottomLeft.size() - 1);
    for (const std::string& line : lines.bottomLeft) {
        Write(bgr, line, {pen.margin, y}, pen, kWhite);
        y += pen.lineHeight;
    }
}

void DrawHud(cv::Mat& bgr, const HudState& state, bool text) {
    if (bgr.empty()) return;
    if (state.stale) DrawDistrustFrame(bgr);
    if (text) DrawHudText(bgr, MakeHudText(state));
}

}  // namespace live
