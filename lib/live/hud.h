#pragma once
// The heads-up display on the live window: the picture's telemetry in the
// top left corner, the link's state in the top right, the picture's age
// and the bit rate in the bottom left, and a red frame round a picture held
// after a loss. The middle of the picture is left clear.

#include <string>
#include <vector>

#include "core/format/telemetry_record.h"

namespace cv {
class Mat;
}

namespace live {

enum class LinkCondition { kReceiving, kQuiet, kWaitingForKey };

struct HudState {
    bool hasTelemetry = false;
    TelemetryValues values{};
    LinkCondition condition = LinkCondition::kReceiving;
    double quietSeconds = 0;  // with kQuiet
    double ageSeconds = 0;    // since the picture shown was decoded
    double bitsPerSecond = 0;
    // The picture shown is the last good one, held while later ones are
    // built on something lost.
    bool stale = false;
};

enum class HudTone { kPlain, kGood, kWarning, kAlarm };

// The HUD's text, corner by corner, one string a line; the top right lines
// each in a tone (plain where none is given).
struct HudText {
    std::vector<std::string> topLeft;
    std::vector<std::string> topRight;
    std::vector<HudTone> topRightTones;
    std::vector<std::string> bottomLeft;
};

HudText MakeHudText(const HudState& state);
// The picture's position, height and camera angles, as the top left shows them.
std::vector<std::string> TelemetryHudLines(const TelemetryValues& values);

// Text in the HUD's places and sizes, for a program that says other things
// in them (the review viewer).
void DrawHudText(cv::Mat& bgr, const HudText& text);
// The red frame round a picture that is not to be trusted.
void DrawDistrustFrame(cv::Mat& bgr);

// Draws the HUD into a BGR picture, scaled to its height; with `text`
// false only the stale mark. Text stays within the top kTopBand and the
// bottom kBottomBand of the picture's rows.
void DrawHud(cv::Mat& bgr, const HudState& state, bool text);
constexpr double kTopBand = 0.15;
constexpr double kBottomBand = 0.10;

}  // namespace live
