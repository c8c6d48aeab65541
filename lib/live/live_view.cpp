#include "lib/live/live_view.h"

#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>

#include "lib/live/hud.h"

namespace live {

namespace {

// While no picture comes, the HUD is drawn again this often.
constexpr auto kRedrawAfter = std::chrono::milliseconds(500);

double Seconds(LiveView::Clock::duration span) { return std::chrono::duration<double>(span).count(); }

}  // namespace

// The last good picture as decoded, and the one drawn with the HUD on it.
struct LiveView::Pictures {
    cv::Mat held;
    cv::Mat canvas;
};

LiveView::LiveView(LiveViewSettings settings, Silence silence)
    : settings_(std::move(settings)), silence_(std::move(silence)), pictures_(std::make_unique<Pictures>()) {
    window_.Place(settings_.place);
}

LiveView::~LiveView() = default;

void LiveView::Take(const ShownPicture& picture) {
    if (!showing_ || picture.rgb == nullptr) return;
    const Clock::time_point now = Clock::now();
    if (picture.trusted || settings_.showDamaged) {
        const cv::Mat rgb(picture.height, picture.width, CV_8UC3, const_cast<uint8_t*>(picture.rgb));
        cv::cvtColor(rgb, pictures_->held, cv::COLOR_RGB2BGR);
        heldRecord_ = picture.record;
        heldAt_ = now;
        holding_ = true;
        stale_ = false;
    } else {
        ++withheld_;
        stale_ = true;
    }
    if (holding_) Draw(now);
}

void LiveView::Refresh() {
    const Clock::time_point now = Clock::now();
    if (showing_ && holding_ && now - drawnAt_ >= kRedrawAfter) Draw(now);
}

void LiveView::Draw(Clock::time_point now) {
    drawnAt_ = now;
    const cv::Mat* shown = &pictures_->held;
    if (settings_.hud || stale_) {
        HudState state;
        state.hasTelemetry = true;
        state.values = DecodeTelemetry(heldRecord_);
        const Clock::duration silence = silence_ ? silence_() : Clock::duration{};
        state.condition = silence > Clock::duration{} ? LinkCondition::kQuiet
                          : stale_                     ? LinkCondition::kWaitingForKey
                                                       : LinkCondition::kReceiving;
        state.quietSeconds = Seconds(silence);
        state.ageSeconds = Seconds(now - heldAt_);
        state.bitsPerSecond = bitsPerSecond_;
        state.stale = stale_;
        pictures_->held.copyTo(pictures_->canvas);
        DrawHud(pictures_->canvas, state, settings_.hud);
        shown = &pictures_->canvas;
    }
    showing_ = window_.ShowBgr(settings_.title, *shown);
}

}  // namespace live
