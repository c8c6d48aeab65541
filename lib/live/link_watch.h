#pragma once
// Counts what the link delivers and tells when it goes quiet and when it
// comes back. The reader reports arrivals; the once-a-second tick reads the
// counts and notices silence, so a link that stops entirely is still seen.

#include <chrono>
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>

#include "core/session/link_statistics.h"

namespace live {

using Clock = std::chrono::steady_clock;

// A link with no byte for this long is quiet.
constexpr std::chrono::milliseconds kQuietAfter{1000};

class QuietWatch {
public:
    // Bytes arrived at `now`: the length of the silence they end, once the
    // link had been said to be quiet.
    std::optional<Clock::duration> Arrived(Clock::time_point now);
    // True once per silence, when it has lasted kQuietAfter. A link that
    // has not yet delivered a byte has not gone quiet: the status line's
    // zero rate already says that nothing came.
    bool WentQuiet(Clock::time_point now);
    // How long the link has been quiet at `now`; zero while it is not.
    Clock::duration SilenceAt(Clock::time_point now);

private:
    std::mutex lock_;
    std::optional<Clock::time_point> lastArrival_;
    bool quiet_ = false;
};

// What the status line shows of the link's counts, written by the reader
// and the worker and read by the tick, and of the recording.
struct CountsSnapshot : LinkStatistics {
    uint64_t recordedBytes = 0;
};

CountsSnapshot Snapshot(const SharedLinkStatistics& counts, uint64_t recordedBytes);

// The status line from two snapshots `seconds` apart, ending with the
// link's state (see LinkStateWord).
std::string StatusLine(const CountsSnapshot& before, const CountsSnapshot& now, double seconds, const char* state);

// The link's state in one word: "idle" before its first byte, "quiet",
// "waiting-for-key" while the window holds the last good picture after a
// loss, else "receiving".
const char* LinkStateWord(bool anyBytes, bool quiet, bool waitingForKey);

// "2.3 s", "1 min 5 s": how long a silence lasted.
std::string Span(Clock::duration span);

// The time of day in UTC, ISO 8601 to the second: "2026-12-09T18:40:12Z".
std::string TimeOfDay(std::chrono::system_clock::time_point when);

}  // namespace live
