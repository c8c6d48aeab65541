// The report of a 2-hour recording: how long inspect-recording --report takes
// against the recording's playing time, and its peak resident memory.
//
// make-recording writes a 10-minute piece of the test pattern at a small
// picture size, padded to the link rate; twelve copies are joined with their
// sequence numbers and frame indices renumbered so that the receiver sees one
// unbroken link. Usage: dlp-report-two-hours-bench [DIR] [COPIES]; DIR (default
// /tmp) holds the 3.7 GB recording while it runs, which is deleted at the end.

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "bench/inputs/joined_recording.h"
#include "core/format/replay_pace.h"

namespace {

constexpr int kPiecePictures = 15000;  // 10 minutes at 25 a second
constexpr double kReplayBytesPerSecond = static_cast<double>(replay_pace::kBytesPerSecond);

bool Run(const std::string& command) {
    std::printf("$ %s\n", command.c_str());
    std::fflush(stdout);
    return std::system(command.c_str()) == 0;
}

}  // namespace

int main(int argc, char** argv) {
    const std::string dir = argc > 1 ? argv[1] : "/tmp";
    const int copies = argc > 2 ? std::atoi(argv[2]) : 12;
    const std::string piece = dir + "/report-bench-piece.dat", whole = dir + "/report-bench-2h.dat";
    const std::string png = dir + "/report-bench-2h.png", times = dir + "/report-bench-time.txt";
    if (!Run(std::string(MAKE_RECORDING) + " --quiet --output " + piece + " --size 192x108 --frames " +
             std::to_string(kPiecePictures) + " --pad-rate 480000") ||
        !JoinCopies(piece, whole, copies)) {
        return 1;
    }
    std::remove(piece.c_str());
    const double bytes = FileBytes(whole);
    const bool ok = Run("/usr/bin/time -f '%e %M' -o " + times + " " + INSPECT_RECORDING + " --report " + png +
                        " " + whole);
    std::remove(whole.c_str());
    double seconds = 0, peakKb = 0;
    std::FILE* t = std::fopen(times.c_str(), "r");
    if (!ok || t == nullptr || std::fscanf(t, "%lf %lf", &seconds, &peakKb) != 2) return 1;
    std::fclose(t);
    const double playing = bytes / kReplayBytesPerSecond;
    std::printf("recording: %.2f GB, plays in %.0f s (%.2f h)\n", bytes / 1e9, playing, playing / 3600);
    std::printf("report:    %.1f s, %.1f times faster than it plays, peak resident memory %.0f MB\n", seconds,
                playing / seconds, peakKb / 1024);
    std::printf("page:      %s\n", png.c_str());
    return 0;
}
