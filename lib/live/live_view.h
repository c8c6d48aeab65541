#pragma once
// downlink-live's window: each picture as it is decoded, with the HUD on
// it. A picture built on something lost is not shown: the last good one
// stays, marked stale, until a picture that depends on nothing lost comes
// (unless damaged pictures are asked for). While nothing new comes, the
// HUD still ages the picture and tells how long the link has been quiet.

#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <string>

#include "core/format/telemetry_record.h"
#include "core/present/picture_window.h"
#include "core/present/shown_picture.h"

namespace live {

struct LiveViewSettings {
    std::string title = "RGB Image";
    bool hud = true;
    bool showDamaged = false;
    WindowPlace place;
};

class LiveView {
public:
    using Clock = std::chrono::steady_clock;
    // How long the link has been quiet now (zero while it is not); asked
    // on the decoding thread.
    using Silence = std::function<Clock::duration()>;

    LiveView(LiveViewSettings settings, Silence silence);
    ~LiveView();
    LiveView(const LiveView&) = delete;
    LiveView& operator=(const LiveView&) = delete;

    // The decoding thread's calls: each decoded picture (its pixels
    // wanted), and a redraw now and then while none comes.
    void Take(const ShownPicture& picture);
    void Refresh();
    // The link's bit rate, from any thread.
    void SetBitRate(double bitsPerSecond) { bitsPerSecond_ = bitsPerSecond; }
    // The window is still shown (false once it could not be).
    bool Showing() const { return showing_; }
    // Pictures held back as built on something lost.
    uint64_t Withheld() const { return withheld_; }
    // The last picture that came was held back; any thread.
    bool WaitingForKey() const { return stale_; }

private:
    struct Pictures;
    void Draw(Clock::time_point now);

    LiveViewSettings settings_;
    Silence silence_;
    PictureWindow window_;
    std::unique_ptr<Pictures> pictures_;
    TelemetryRecord heldRecord_{};
    Clock::time_point heldAt_{};
    Clock::time_point drawnAt_{};
    bool holding_ = false;
    std::atomic<bool> stale_{false};
    std::atomic<double> bitsPerSecond_{0};
    std::atomic<bool> showing_{true};
    std::atomic<uint64_t> withheld_{0};
};

}  // namespace live
