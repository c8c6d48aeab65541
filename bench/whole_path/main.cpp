// dlp-whole-path-bench: the player's whole path against the ffmpeg
// command-line decoder on the same 1920 x 1080 stream, pair by pair over
// several rounds; then the cost per picture of each stage, and the worker's
// busy share and the latency at the replay's own pace. The single-slice
// figures end with the ratio of pictures per second, ours over ffmpeg's
// single-thread decode. The same pictures in 4 slices each follow, every
// line starting "4 slices,": such streams reach the decoder as whole
// pictures, one picture interval later, so their latency is measured too.

#include <QApplication>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "bench/inputs/bench_input.h"
#include "bench/whole_path/paced_playback.h"
#include "bench/whole_path/rounds.h"
#include "bench/whole_path/sample_stats.h"
#include "bench/whole_path/stage_costs.h"
#include "core/format/replay_pace.h"
#include "lib/reading/recording_reader.h"

namespace {

// The bundled sample's link rate and picture rate, which the multi-slice
// paced recording copies.
constexpr uint64_t kSampleBytesPerSecond = 480000;
constexpr double kPictureIntervalMs = 1000.0 / 25;
// Six seconds at the replay's pace: enough pictures for a p99, short enough
// to add little to the run.
constexpr int kSlicedPacedPictures = 150;

struct Options {
    int pictures = kBenchPictures;
    int rounds = 5;
    int slices = kBenchSlices;
    int pacedPictures = kSlicedPacedPictures;
    std::string samplePath = std::string(DLP_SOURCE_DIR) + "/samples/downlink-sample.dat";
    std::string roundsCsv;
};

void PrintUsage() {
    std::printf(
        "usage: dlp-whole-path-bench [--rounds N] [--pictures N] [--slices N] [--paced-pictures N]\n"
        "                            [--sample FILE] [--rounds-csv FILE]\n"
        "  --rounds N         pairs of runs, ours and ffmpeg's (default 5)\n"
        "  --pictures N       pictures in the 1920x1080 recording (default %d)\n"
        "  --slices N         slices per picture of the second recording, same pictures (default %d;\n"
        "                     1 leaves it out)\n"
        "  --paced-pictures N pictures of that recording played at the replay's pace (default %d)\n"
        "  --sample FILE      recording played at the replay's pace (default samples/downlink-sample.dat)\n"
        "  --rounds-csv FILE  pictures per second of every round, for plotting\n",
        kBenchPictures, kBenchSlices, kSlicedPacedPictures);
}

bool ParseOptions(int argc, char** argv, Options& options) {
    for (int i = 1; i < argc; ++i) {
        const std::string name = argv[i];
        const bool hasValue = i + 1 < argc;
        if (name == "--help") {
            PrintUsage();
            std::exit(0);
        } else if (name == "--rounds" && hasValue) {
            options.rounds = std::atoi(argv[++i]);
        } else if (name == "--pictures" && hasValue) {
            options.pictures = std::atoi(argv[++i]);
        } else if (name == "--slices" && hasValue) {
            options.slices = std::atoi(argv[++i]);
        } else if (name == "--paced-pictures" && hasValue) {
            options.pacedPictures = std::atoi(argv[++i]);
        } else if (name == "--sample" && hasValue) {
            options.samplePath = argv[++i];
        } else if (name == "--rounds-csv" && hasValue) {
            options.roundsCsv = argv[++i];
        } else {
            std::fprintf(stderr, "dlp-whole-path-bench: unknown or incomplete option %s\n", name.c_str());
            return false;
        }
    }
    if (options.rounds < 1 || options.pictures < 2) {
        std::fprintf(stderr, "dlp-whole-path-bench: --rounds must be at least 1, --pictures at least 2\n");
        return false;
    }
    if (options.slices < 1 || options.slices > 16 || options.pacedPictures < 2 ||
        options.pacedPictures > options.pictures) {
        std::fprintf(stderr, "dlp-whole-path-bench: --slices must be 1 to 16, --paced-pictures 2 to --pictures\n");
        return false;
    }
    return true;
}

std::string CpuModel() {
    std::ifstream cpuinfo("/proc/cpuinfo");
    std::string line;
    while (std::getline(cpuinfo, line)) {
        if (line.rfind("model name", 0) == 0) return line.substr(line.find(':') + 2);
    }
    return "unknown CPU";
}

void PrintStageCosts(const char* source, const StageCosts& costs, bool displayAsked) {
    std::printf("stage cost per picture, %s (%ld pictures): decode %.3f ms, conversion to RGB %.3f ms, "
                "colour swap (cvtColor) %.3f ms",
                source, costs.pictures, costs.decodeMs, costs.conversionMs, costs.colourSwapMs);
    if (costs.displayedPictures > 0) {
        std::printf(", display %.3f ms (the window's show under the X server: colour swap, drawing, waitKey 2 ms)\n", costs.displayMs);
    } else {
        std::printf(displayAsked ? ", display not measured (no DISPLAY)\n" : "\n");
    }
}

std::string SlicePrefix(int slices) { return std::to_string(slices) + " slices, "; }

// The replay's figures before the latency; false when the latency cannot be
// had, which the last line then says.
bool PrintPacedRun(const std::string& prefix, const std::string& source, const PacedRun& run, bool withWindow) {
    const double busy = run.seconds > 0 ? run.workerCpuSeconds / run.seconds : 0;
    std::printf("%spaced replay of %s (%d B per %d ms, window %s): %ld of %ld pictures in %.2f s\n",
                prefix.c_str(), source.c_str(), replay_pace::kChunkBytes, replay_pace::kPauseMs,
                withWindow ? "on" : "off", run.pictures, run.expectedPictures, run.seconds);
    std::printf("%sworker busy: %.1f%% of the time (worker thread CPU time %.3f s); target < 50%%: %s\n",
                prefix.c_str(), 100 * busy, run.workerCpuSeconds, busy < 0.5 ? "met" : "missed");
    if (withWindow) {
        const double bound = (run.workerCpuSeconds + run.mainCpuSeconds) / run.seconds;
        std::printf("%sworker busy with the waits for the window's drawing on the main thread: at most %.1f%%\n",
                    prefix.c_str(), 100 * bound);
    }
    if (run.latencyMs.empty()) {
        std::printf("%slatency not measured: pictures and their last units do not pair up\n", prefix.c_str());
        return false;
    }
    return true;
}

// The median latency, 0 when it could not be measured.
double ReportPaced(const std::string& source, const PacedRun& run, bool withWindow, double decodeMs) {
    if (!PrintPacedRun("", source, run, withWindow)) return 0;
    const SampleStats latency = Summarise(run.latencyMs);
    std::printf("latency, payload queued to picture at display: median %.2f ms, p99 %.2f ms, max %.2f ms "
                "(%zu pictures); target median <= decode %.2f ms + 7 ms: %s\n",
                latency.median, latency.p99, latency.max, latency.count, decodeMs,
                latency.median <= decodeMs + 7 ? "met" : "missed");
    return latency.median;
}

// The sample is what the player ships with; without it, the benchmark's
// own recording stands in, so that the paced figures still exist. Returns
// the median latency, 0 when not measured.
double MeasurePaced(const Options& options, const BenchInput& input, bool withWindow) {
    std::vector<uint8_t> sample;
    std::string error;
    std::string source = options.samplePath;
    if (!ReadWholeFile(options.samplePath, sample, error)) {
        std::printf("sample %s not readable (%s); the benchmark recording is paced instead\n",
                    options.samplePath.c_str(), error.c_str());
        sample = input.recording;
        source = input.recordingPath;
    }
    // The latency target is set against the decode time of the pictures played.
    const StageCosts costs = MeasureStageCosts(sample, false);
    PrintStageCosts("paced recording", costs, false);
    return ReportPaced(source, PlayPaced(sample, withWindow), withWindow, costs.decodeMs);
}

// The multi-slice stream's pictures wait in FFmpeg's parser until the next
// picture's first unit closes them, so its latency is set beside the
// single-slice sample's: the difference is that wait.
void MeasureSlicedPaced(const Options& options, const BenchInput& sliced, bool withWindow,
                        double singleMedianMs) {
    const std::string prefix = SlicePrefix(options.slices);
    std::vector<uint8_t> recording;
    std::string error;
    if (!MakePacedRecording(sliced, options.pacedPictures, kSampleBytesPerSecond, recording, error)) {
        std::printf("%spaced recording not made: %s\n", prefix.c_str(), error.c_str());
        return;
    }
    const std::string source = "the 1920x1080 pattern's first " + std::to_string(options.pacedPictures) +
                               " pictures, padded to " + std::to_string(kSampleBytesPerSecond) + " B/s";
    const PacedRun run = PlayPaced(recording, withWindow);
    if (!PrintPacedRun(prefix, source, run, withWindow)) return;
    const SampleStats latency = Summarise(run.latencyMs);
    std::printf("%slatency, payload queued to picture at display: median %.2f ms, p99 %.2f ms, max %.2f ms "
                "(%zu pictures)",
                prefix.c_str(), latency.median, latency.p99, latency.max, latency.count);
    if (singleMedianMs > 0) {
        std::printf("; median over the single-slice sample's: %+.2f ms (one picture interval: %.0f ms)",
                    latency.median - singleMedianMs, kPictureIntervalMs);
    }
    std::printf("\n");
}

bool LoadInput(int pictures, int slices, BenchInput& input) {
    std::string error;
    if (LoadOrMakeInput(kBenchWidth, kBenchHeight, pictures, slices, input, error)) return true;
    std::fprintf(stderr, "dlp-whole-path-bench: %s\n", error.c_str());
    return false;
}

void PrintInput(const std::string& prefix, int pictures, const BenchInput& input) {
    std::printf("%sinput: 1920x1080, %d pictures, recording %zu bytes, elementary stream %zu bytes\n",
                prefix.c_str(), pictures, input.recording.size(), input.elementaryStream.size());
}

struct Comparison {
    std::vector<Round> rounds;
    std::vector<Round> slicedRounds;
    std::vector<std::string> slicedLines;  // printed after the single-slice figures
};

// Each round plays the single-slice pair, then the multi-slice one, so that
// both streams' ratios come from the same stretch of the machine's load.
bool RunRounds(const Options& options, const BenchInput& input, const BenchInput* sliced, Comparison& result) {
    result.rounds.assign(static_cast<size_t>(options.rounds), Round{});
    if (sliced != nullptr) result.slicedRounds.assign(result.rounds.size(), Round{});
    for (size_t r = 0; r < result.rounds.size(); ++r) {
        const int number = static_cast<int>(r) + 1;
        if (!RunRound(number, input, result.rounds[r])) return false;
        if (sliced == nullptr) continue;
        std::string line;
        if (!RunSlicedRound(number, options.slices, *sliced, result.slicedRounds[r], line)) return false;
        result.slicedLines.push_back(line);
    }
    return true;
}

// The plot and the people comparing runs read these lines, so a second
// stream's figures come after them, labelled, and never change them.
// Returns the median latency at the replay's pace, 0 when not measured.
double SingleSliceFigures(const Options& options, const BenchInput& input, bool haveDisplay,
                          const std::vector<Round>& rounds) {
    PrintStageCosts("1920x1080 pattern", MeasureStageCosts(input.recording, haveDisplay), true);
    const double latencyMedianMs = MeasurePaced(options, input, haveDisplay);

    PrintRatio("", "ffmpeg default threads", OursOver(rounds, &Round::threaded));
    PrintRatio("", "ffmpeg -threads 1 by CPU time per picture", CpuRatios(rounds));
    PrintBestRoundRatio("", rounds);
    const std::vector<double> ratioSingle = OursOver(rounds, &Round::single);
    const SampleStats single = Summarise(ratioSingle);
    std::printf("target whole path >= 0.95 of ffmpeg -threads 1: %s\n", single.median >= 0.95 ? "met" : "missed");
    PrintRatio("", "ffmpeg -threads 1", ratioSingle);
    return latencyMedianMs;
}

void SlicedFigures(const Options& options, const BenchInput& sliced, bool haveDisplay, double singleMedianMs,
                   const Comparison& result) {
    const std::string prefix = SlicePrefix(options.slices);
    PrintInput(prefix, options.pictures, sliced);
    for (const std::string& line : result.slicedLines) std::fputs(line.c_str(), stdout);
    MeasureSlicedPaced(options, sliced, haveDisplay, singleMedianMs);
    PrintRatio(prefix, "ffmpeg -threads 1 by CPU time per picture", CpuRatios(result.slicedRounds));
    PrintBestRoundRatio(prefix, result.slicedRounds);
    PrintRatio(prefix, "ffmpeg -threads 1", OursOver(result.slicedRounds, &Round::single));
}

}  // namespace

int main(int argc, char** argv) {
    Options options;
    if (!ParseOptions(argc, argv, options)) return 2;
    const bool haveDisplay = std::getenv("DISPLAY") != nullptr && std::getenv("DISPLAY")[0] != '\0';
    // The window's calls from the worker are carried out by the thread that
    // made the application object, as in the player.
    std::unique_ptr<QApplication> app;
    if (haveDisplay) app = std::make_unique<QApplication>(argc, argv);

    // Both inputs are made before any figure, so that a missing one stops
    // the run early rather than after the first half of it.
    const bool withSliced = options.slices > 1;
    BenchInput input, sliced;
    if (!LoadInput(options.pictures, 1, input)) return 1;
    if (withSliced && !LoadInput(options.pictures, options.slices, sliced)) return 1;
    std::printf("machine: %s, %u cores\n", CpuModel().c_str(), std::thread::hardware_concurrency());
    PrintInput("", options.pictures, input);

    Comparison result;
    if (!RunRounds(options, input, withSliced ? &sliced : nullptr, result)) return 1;
    const double latencyMedianMs = SingleSliceFigures(options, input, haveDisplay, result.rounds);
    if (withSliced) SlicedFigures(options, sliced, haveDisplay, latencyMedianMs, result);
    if (!options.roundsCsv.empty()) {
        WriteRoundsCsv(options.roundsCsv, result.rounds, result.slicedRounds, options.slices);
    }
    return 0;
}
