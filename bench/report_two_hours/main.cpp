// The report of a 2-hour recording: how long inspect-recording --report takes
// against the recording's playing time, and its peak resident memory.
//
// make-recording writes a 10-minute piece of the test pattern at a small
// picture size, padded to the link rate; twelve copies are joined with their
// sequence numbers and frame indices renumbered so that the receiver sees one
// unbroken link. Usage: dlp-report-two-hours-bench [DIR] [COPIES]; DIR (default
// /tmp) holds the 3.7 GB recording while it runs, which is deleted at the end.

#include <sys/stat.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "core/format/byte_order.h"
#include "core/format/link_frame.h"
#include "core/format/replay_pace.h"
#include "lib/reading/recording_reader.h"

namespace {

constexpr int kPiecePictures = 15000;  // 10 minutes at 25 a second
constexpr double kReplayBytesPerSecond = static_cast<double>(replay_pace::kBytesPerSecond);

bool Run(const std::string& command) {
    std::printf("$ %s\n", command.c_str());
    std::fflush(stdout);
    return std::system(command.c_str()) == 0;
}

// Frames lie back to back (no noise): renumber each from `index` on.
void Renumber(std::vector<uint8_t>& piece, uint64_t& index) {
    using namespace link_frame;
    for (size_t at = 0; at + kFrameSize <= piece.size(); at += kFrameSize, ++index) {
        le::WriteU32(piece.data() + at + kWordOffset, static_cast<uint32_t>(index));
        le::WriteU16(piece.data() + at + kSequenceOffset, static_cast<uint16_t>(index + 1));
    }
}

bool Join(const std::string& piecePath, const std::string& out, int copies) {
    std::vector<uint8_t> piece;
    std::string error;
    if (!ReadWholeFile(piecePath, piece, error) || piece.size() % link_frame::kFrameSize != 0) {
        std::fprintf(stderr, "cannot use %s: %s\n", piecePath.c_str(), error.c_str());
        return false;
    }
    std::ofstream file(out, std::ios::binary | std::ios::trunc);
    uint64_t index = 0;
    for (int i = 0; i < copies && file; ++i) {
        Renumber(piece, index);
        file.write(reinterpret_cast<const char*>(piece.data()), static_cast<std::streamsize>(piece.size()));
    }
    return static_cast<bool>(file);
}

double FileBytes(const std::string& path) {
    struct stat st {};
    return stat(path.c_str(), &st) == 0 ? static_cast<double>(st.st_size) : 0;
}

}  // namespace

int main(int argc, char** argv) {
    const std::string dir = argc > 1 ? argv[1] : "/tmp";
    const int copies = argc > 2 ? std::atoi(argv[2]) : 12;
    const std::string piece = dir + "/report-bench-piece.dat", whole = dir + "/report-bench-2h.dat";
    const std::string png = dir + "/report-bench-2h.png", times = dir + "/report-bench-time.txt";
    if (!Run(std::string(MAKE_RECORDING) + " --quiet --output " + piece + " --size 192x108 --frames " +
             std::to_string(kPiecePictures) + " --pad-rate 480000") ||
        !Join(piece, whole, copies)) {
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
