#include "lib/live/link_watch.h"

#include <ctime>

#include <cstdio>

namespace live {

std::optional<Clock::duration> QuietWatch::Arrived(Clock::time_point now) {
    std::lock_guard<std::mutex> hold(lock_);
    const Clock::duration silence = lastArrival_ ? now - *lastArrival_ : Clock::duration{};
    lastArrival_ = now;
    if (!quiet_) return std::nullopt;
    quiet_ = false;
    return silence;
}

bool QuietWatch::WentQuiet(Clock::time_point now) {
    std::lock_guard<std::mutex> hold(lock_);
    if (quiet_ || !lastArrival_ || now - *lastArrival_ < kQuietAfter) return false;
    quiet_ = true;
    return true;
}

Clock::duration QuietWatch::SilenceAt(Clock::time_point now) {
    std::lock_guard<std::mutex> hold(lock_);
    if (!lastArrival_ || now - *lastArrival_ < kQuietAfter) return Clock::duration{};
    return now - *lastArrival_;
}

CountsSnapshot Snapshot(const SharedLinkStatistics& counts, uint64_t recordedBytes) {
    CountsSnapshot s;
    static_cast<LinkStatistics&>(s) = Load(counts);
    s.recordedBytes = recordedBytes;
    return s;
}

std::string StatusLine(const CountsSnapshot& before, const CountsSnapshot& now, double seconds, const char* state) {
    if (!(seconds > 0)) seconds = 1;
    const double bytesPerSecond = static_cast<double>(now.bytes - before.bytes) / seconds;
    const double picturesPerSecond = static_cast<double>(now.pictures - before.pictures) / seconds;
    char line[256];
    std::snprintf(line, sizeof line,
                  "bytes/s=%.0f frames=%llu invalid=%llu breaks=%llu lost=%llu late=%llu duplicate=%llu "
                  "pictures/s=%.1f pictures=%llu discarded=%llu recorded=%llu link=%s",
                  bytesPerSecond, static_cast<unsigned long long>(now.linkFrames),
                  static_cast<unsigned long long>(now.invalidFrames),
                  static_cast<unsigned long long>(now.sequenceBreaks),
                  static_cast<unsigned long long>(now.lostFrames), static_cast<unsigned long long>(now.lateFrames),
                  static_cast<unsigned long long>(now.duplicateFrames), picturesPerSecond,
                  static_cast<unsigned long long>(now.pictures), static_cast<unsigned long long>(now.discardedPayloads),
                  static_cast<unsigned long long>(now.recordedBytes), state);
    return line;
}

const char* LinkStateWord(bool anyBytes, bool quiet, bool waitingForKey) {
    if (!anyBytes) return "idle";
    if (quiet) return "quiet";
    return waitingForKey ? "waiting-for-key" : "receiving";
}

std::string Span(Clock::duration span) {
    const double seconds = std::chrono::duration<double>(span).count();
    char text[64];
    if (seconds < 60) {
        std::snprintf(text, sizeof text, "%.1f s", seconds);
    } else {
        const long long whole = static_cast<long long>(seconds);
        std::snprintf(text, sizeof text, "%lld min %lld s", whole / 60, whole % 60);
    }
    return text;
}

std::string TimeOfDay(std::chrono::system_clock::time_point when) {
    const std::time_t seconds = std::chrono::system_clock::to_time_t(when);
    std::tm utc = {};
    gmtime_r(&seconds, &utc);
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &utc);
    return text;
}

}  // namespace live
