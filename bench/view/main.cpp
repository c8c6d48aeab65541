// downlink-view's speed on a 2-hour 1080p recording: the index built at how
// many times real time and loaded again from its cache file, a seek against
// the decoder's own time for the pictures it must decode, and playing at 1x
// and 8x through the viewer's engine as its window drives it.
//
// make-recording encodes a 20-second piece of the 1080p test pattern at a
// camera's bit rate, padded to the link rate; copies of it are joined into
// one unbroken link. Usage: dlp-view-bench [DIR] [COPIES] (default /tmp, 360
// copies: 2 hours, 3.7 GB, deleted at the end; the piece is kept in DIR).

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "bench/inputs/joined_recording.h"
#include "core/demux/byte_source.h"
#include "core/format/replay_pace.h"
#include "lib/view/index_builder.h"
#include "lib/view/index_cache.h"
#include "lib/view/picture_seeker.h"
#include "lib/view/view_engine.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr int kPiecePictures = 500;
constexpr int kKeyInterval = 50;
constexpr int kSeeks = 60;

double Since(Clock::time_point start) { return std::chrono::duration<double>(Clock::now() - start).count(); }

bool Run(const std::string& command) {
    std::printf("$ %s\n", command.c_str());
    std::fflush(stdout);
    return std::system(command.c_str()) == 0;
}

double Percentile(std::vector<double> values, double share) {
    std::sort(values.begin(), values.end());
    return values[std::min(values.size() - 1, static_cast<size_t>(share * static_cast<double>(values.size())))];
}

bool IndexFigures(const std::string& path, double playingSeconds, PictureIndex& index) {
    std::string error;
    const auto start = Clock::now();
    IndexBuilder builder(FileByteSource::Open(path, error), index);
    while (builder.Step(size_t{1} << 20)) {
    }
    builder.Finish();
    index.SetComplete(true);
    const double seconds = Since(start);
    std::printf("index:     %zu pictures, %zu key pictures, in %.1f s: %.0f times real time\n", index.Count(),
                static_cast<size_t>(std::count_if(index.DecodeOrder().begin(), index.DecodeOrder().end(),
                                                  [](const IndexedPicture& p) { return p.key; })),
                seconds, playingSeconds / seconds);
    if (!index_cache::Save(path, index)) return false;
    std::vector<double> loads;
    for (int i = 0; i < 3; ++i) {
        PictureIndex loaded;
        const auto again = Clock::now();
        if (!index_cache::Load(path, loaded)) return false;
        loads.push_back(Since(again));
    }
    std::printf("reopened:  from the cache file (%.1f MB) in %.3f s (median of 3)\n",
                FileBytes(index_cache::BesidePath(path)) / 1e6, Percentile(loads, 0.5));
    return true;
}

// The decoder's own time per picture, going on picture after picture, is
// the reference a seek is measured against: a seek decodes up to a key
// interval of pictures.
void SeekFigures(const std::string& path, const PictureIndex& index) {
    std::string error;
    PictureSeeker seeker(FileByteSource::Open(path, error), 0);
    constexpr int kRun = 200;
    seeker.Decode(index, 1);
    const auto start = Clock::now();
    for (int64_t n = 2; n <= kRun + 1; ++n) seeker.Decode(index, n);
    const double perPicture = Since(start) / kRun;
    std::mt19937 random(11);
    std::vector<double> seeks;
    int failed = 0;
    for (int i = 0; i < kSeeks; ++i) {
        const int64_t n = 1 + static_cast<int64_t>(random() % index.Count());
        const auto at = Clock::now();
        if (seeker.Decode(index, n) == nullptr) ++failed;
        seeks.push_back(Since(at));
    }
    const double budget = kKeyInterval * perPicture + 0.050;
    std::printf("decoder:   %.1f ms a picture going on (%.0f pictures/s)\n", perPicture * 1e3, 1 / perPicture);
    std::printf("seek:      median %.0f ms, p99 %.0f ms over %d seeks (%d failed); goal: within a key interval "
                "of %d pictures plus 50 ms = %.0f ms (median %.2f, p99 %.2f of it)\n",
                Percentile(seeks, 0.5) * 1e3, Percentile(seeks, 0.99) * 1e3, kSeeks, failed, kKeyInterval,
                budget * 1e3, Percentile(seeks, 0.5) / budget, Percentile(seeks, 0.99) / budget);
}

// As the window plays: every 10 ms the picture due at the speed is asked
// for, and what the engine hands back is counted.
void PlayFigures(const std::string& path, double speed, double seconds) {
    ViewEngine engine(path, nullptr);
    engine.Start();
    while (!engine.Progress().complete) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    const double from = 600;  // ten minutes in
    const auto start = Clock::now();
    int shown = 0;
    double worstLag = 0;
    while (Since(start) < seconds) {
        const double due = from + Since(start) * speed;
        engine.Request(engine.WithIndex([due](const PictureIndex& index) { return index.NumberAtTime(due); }));
        ViewedPicture picture;
        if (engine.Take(picture) && picture.decoded) {
            ++shown;
            worstLag = std::max(worstLag, (from + Since(start) * speed - picture.seconds) / speed);
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    const double due = 25 * speed;
    std::printf("play %gx:   %.1f pictures shown a second of %.0f due (%.0f %%), never more than %.2f s of wall "
                "time behind the clock\n",
                speed, shown / seconds, due, 100 * shown / seconds / due, worstLag);
}

}  // namespace

int main(int argc, char** argv) {
    const std::string dir = argc > 1 ? argv[1] : "/tmp";
    const int copies = argc > 2 ? std::atoi(argv[2]) : 360;
    const std::string piece = dir + "/view-bench-piece.dat", whole = dir + "/view-bench-2h.dat";
    // The piece is kept for the next run: encoding it is the slow part.
    if ((FileBytes(piece) == 0 &&
         !Run(std::string(MAKE_RECORDING) + " --quiet --output " + piece + " --frames " +
              std::to_string(kPiecePictures) + " --keyint " + std::to_string(kKeyInterval) +
              " --bitrate 3500 --pad-rate 480000")) ||
        !JoinCopies(piece, whole, copies)) {
        return 1;
    }
    const double bytes = FileBytes(whole);
    const double playing = bytes / static_cast<double>(replay_pace::kBytesPerSecond);
    std::printf("recording: %.2f GB of 1080p, plays in %.0f s (%.2f h)\n", bytes / 1e9, playing, playing / 3600);
    PictureIndex index;
    const bool ok = IndexFigures(whole, playing, index);
    if (ok) {
        SeekFigures(whole, index);
        PlayFigures(whole, 1, 10);
        PlayFigures(whole, 8, 10);
    }
    std::remove(index_cache::BesidePath(whole).c_str());
    std::remove(whole.c_str());
    return ok ? 0 : 1;
}
