#include "programs/inspect/progress_bar.h"

#include <algorithm>
#include <string>

namespace {
constexpr double kQuietSeconds = 1.0;  // short reads show nothing
constexpr double kRedrawSeconds = 0.1;
constexpr int kBarWidth = 30;
}  // namespace

ProgressBar::ProgressBar(uint64_t total, bool terminal, std::FILE* out)
    : total_(std::max<uint64_t>(total, 1)), terminal_(terminal), out_(out) {}

void ProgressBar::Begin(const char* label) {
    label_ = label;
    passStart_ = Clock::now();
    lastDraw_ = -1;
    lastTenth_ = -1;
}

// The quiet second counts from the first pass; the time left from this one.
void ProgressBar::Update(uint64_t done) {
    const Clock::time_point now = Clock::now();
    if (std::chrono::duration<double>(now - start_).count() < kQuietSeconds) return;
    const double elapsed = std::chrono::duration<double>(now - passStart_).count();
    const int tenth = static_cast<int>(std::min<uint64_t>(done, total_) * 10 / total_);
    if (terminal_ ? elapsed - lastDraw_ < kRedrawSeconds : tenth == lastTenth_) return;
    lastDraw_ = elapsed;
    lastTenth_ = tenth;
    Draw(done, elapsed);
}

void ProgressBar::Draw(uint64_t done, double elapsed) {
    const double part = std::min(1.0, static_cast<double>(done) / static_cast<double>(total_));
    const int filled = static_cast<int>(part * kBarWidth);
    const std::string bar = std::string(static_cast<size_t>(filled), '#') +
                            std::string(static_cast<size_t>(kBarWidth - filled), '.');
    const double left = part > 0 ? elapsed / part - elapsed : 0;
    std::fprintf(out_, "%s%s [%s] %3d%%  %.1f of %.1f MB  %.0f s left%s", terminal_ ? "\r" : "", label_,
                 bar.c_str(), static_cast<int>(part * 100), done / 1e6, total_ / 1e6, left,
                 terminal_ ? "  " : "\n");
    std::fflush(out_);
    drawn_ = true;
}

void ProgressBar::Finish() {
    if (drawn_ && terminal_) std::fprintf(out_, "\n");
    drawn_ = false;
}
