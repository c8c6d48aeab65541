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

// The last good picture with the HUD drawn on it, and its top and bottom
// bands as decoded: a redraw puts those back and draws the HUD again, rather
// than copying the whole picture each time.
struct LiveView::Pictures {
    cv::Mat canvas;
    cv::Mat top;
    cv::Mat bottom;
    bool clean = false;  // nothing drawn on the canvas yet

    cv::Rect TopRows() const { return {0, 0, canvas.cols, static_cast<int>(canvas.rows * kTopBand) + 1}; }
    cv::Rect BottomRows() const {
        const int rows = static_cast<int>(canvas.rows * kBottomBand) + 1;
        return {0, canvas.rows - rows, canvas.cols, rows};
    }
    void Keep(const cv::Mat& rgb) {
        cv::cvtColor(rgb, canvas, cv::COLOR_RGB2BGR);
        canvas(TopRows()).copyTo(top);
        canvas(BottomRows()).copyTo(bottom);
        clean = true;
    }
    void PutBandsBack() {
        if (!clean) {
            top.copyTo(canvas(TopRows()));
            bottom.copyTo(canvas(BottomRows()));
        }
        clean = false;
    }
};

LiveView::LiveView(LiveViewSettings settings, Silence silence)
    : settings_(std::move(settings)), silence_(std::move(silence)), pictures_(std::make_unique<Pictures>()) {
    window_.Place(settings_.place);
    // downlink-live's main thread runs Qt's event loop.
    window_.LeaveEventsToTheEventLoop();
}

LiveView::~LiveView() = default;

void LiveView::Take(const ShownPicture& picture) {
    if (!showing_ || picture.rgb == nullptr) return;
    const Clock::time_point now = Clock::now();
    if (picture.trusted || settings_.showDamaged) {
        const cv::Mat rgb(picture.height, picture.width, CV_8UC3, const_cast<uint8_t*>(picture.rgb));
        pictures_->Keep(rgb);
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
        pictures_->PutBandsBack();
        DrawHud(pictures_->canvas, state, settings_.hud);
    }
    showing_ = window_.ShowBgr(settings_.title, pictures_->canvas);
}

}  // namespace live
