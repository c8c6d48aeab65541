// dlp-whole-path-bench: the player's whole path against the ffmpeg
// command-line decoder on the same 1920 x 1080 stream, pair by pair over
// several rounds; then the cost per picture of each stage, and the worker's
// busy share and the latency at the replay's own pace. The last line is the
// ratio of pictures per second, ours over ffmpeg's single-thread decode.

#include <QApplication>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "bench/inputs/bench_input.h"
#include "bench/whole_path/ffmpeg_decode.h"
#include "bench/whole_path/paced_playback.h"
#include "bench/whole_path/player_path.h"
#include "bench/whole_path/sample_stats.h"
#include "bench/whole_path/stage_costs.h"
#include "tools/recording/recording_reader.h"

namespace {

struct Options {
    int pictures = kBenchPictures;
    int rounds = 5;
    std::string samplePath = std::string(DLP_SOURCE_DIR) + "/samples/downlink-sample.dat";
    std::string roundsCsv;
};

struct Round {
    double ours = 0;      // pictures per second
    double single = 0;    // ffmpeg -threads 1
    double threaded = 0;  // ffmpeg, decoder's default threads
    double cpuRatio = 0;  // ours over ffmpeg -threads 1, by CPU time per picture
};

void PrintUsage() {
    std::printf(
        "usage: dlp-whole-path-bench [--rounds N] [--pictures N] [--sample FILE] [--rounds-csv FILE]\n"
        "  --rounds N        pairs of runs, ours and ffmpeg's (default 5)\n"
        "  --pictures N      pictures in the 1920x1080 recording (default %d)\n"
        "  --sample FILE     recording played at the replay's pace (default samples/downlink-sample.dat)\n"
        "  --rounds-csv FILE pictures per second of every round, for plotting\n",
        kBenchPictures);
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

bool RunRound(int number, const BenchInput& input, Round& round) {
    // The pair's order alternates, so that a load that rises or falls during
    // the run favours neither side.
    PlayerRun ours;
    FfmpegRun single;
    if (number % 2 == 1) {
        ours = PlayUnpaced(input.recording);
        single = RunFfmpegDecode(input.videoStreamPath, 1);
    } else {
        single = RunFfmpegDecode(input.videoStreamPath, 1);
        ours = PlayUnpaced(input.recording);
    }
    const FfmpegRun threaded = RunFfmpegDecode(input.videoStreamPath, 0);
    if (ours.pictures == 0) {
        std::fprintf(stderr, "the player's path decoded no picture of %s\n", input.recordingPath.c_str());
        return false;
    }
    if (!single.ok || !threaded.ok) {
        std::fprintf(stderr, "ffmpeg failed:\n%s\n", (single.ok ? threaded : single).error.c_str());
        return false;
    }
    round.ours = static_cast<double>(ours.pictures) / ours.seconds;
    round.single = static_cast<double>(single.pictures) / single.seconds;
    round.threaded = static_cast<double>(threaded.pictures) / threaded.seconds;
    round.cpuRatio = (single.cpuSeconds / static_cast<double>(single.pictures)) /
                     (ours.cpuSeconds / static_cast<double>(ours.pictures));
    std::printf(
        "round %d: ours %.1f pictures/s (%ld in %.3f s); ffmpeg -threads 1 %.1f pictures/s (%ld in %.3f s, "
        "process %.3f s); ffmpeg default threads %.1f pictures/s; ratio %.3f (by CPU time %.3f)\n",
        number, round.ours, ours.pictures, ours.seconds, round.single, single.pictures, single.seconds,
        single.wallSeconds, round.threaded, round.ours / round.single, round.cpuRatio);
    std::fflush(stdout);
    return true;
}

void WriteRoundsCsv(const std::string& path, const std::vector<Round>& rounds) {
    std::ofstream out(path);
    out << "round,ours,ffmpeg_threads_1,ffmpeg_default_threads\n";
    for (size_t i = 0; i < rounds.size(); ++i) {
        out << i + 1 << ',' << rounds[i].ours << ',' << rounds[i].single << ',' << rounds[i].threaded << '\n';
    }
}

void PrintStageCosts(const char* source, const StageCosts& costs, bool displayAsked) {
    std::printf("stage cost per picture, %s (%ld pictures): decode %.3f ms, conversion to RGB %.3f ms, "
                "colour swap (cvtColor) %.3f ms",
                source, costs.pictures, costs.decodeMs, costs.conversionMs, costs.colourSwapMs);
    if (costs.displayedPictures > 0) {
        std::printf(", display %.3f ms (window under the X server, waitKey 2 ms included)\n", costs.displayMs);
    } else {
        std::printf(displayAsked ? ", display not measured (no DISPLAY)\n" : "\n");
    }
}

void ReportPaced(const std::string& source, const PacedRun& run, bool withWindow, double decodeMs) {
    const double busy = run.seconds > 0 ? run.workerCpuSeconds / run.seconds : 0;
    const SampleStats latency = Summarise(run.latencyMs);
    std::printf("paced replay of %s (10240 B per 20 ms, window %s): %ld of %ld pictures in %.2f s\n",
                source.c_str(), withWindow ? "on" : "off", run.pictures, run.expectedPictures, run.seconds);
    std::printf("worker busy: %.1f%% of the time (worker thread CPU time %.3f s); target < 50%%: %s\n",
                100 * busy, run.workerCpuSeconds, busy < 0.5 ? "met" : "missed");
    if (withWindow) {
        const double bound = (run.workerCpuSeconds + run.mainCpuSeconds) / run.seconds;
        std::printf("worker busy with the waits for the window's drawing on the main thread: at most %.1f%%\n",
                    100 * bound);
    }
    if (run.latencyMs.empty()) {
        std::printf("latency not measured: pictures and their last units do not pair up\n");
        return;
    }
    std::printf("latency, payload queued to picture at display: median %.2f ms, p99 %.2f ms, max %.2f ms "
                "(%zu pictures); target median <= decode %.2f ms + 7 ms: %s\n",
                latency.median, latency.p99, latency.max, latency.count, decodeMs,
                latency.median <= decodeMs + 7 ? "met" : "missed");
}

// The sample is what the player ships with; without it, the benchmark's
// own recording stands in, so that the paced figures still exist.
void MeasurePaced(const Options& options, const BenchInput& input, bool withWindow) {
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
    ReportPaced(source, PlayPaced(sample, withWindow), withWindow, costs.decodeMs);
}

// Other load only ever slows a run down, so each side's fastest round is
// the estimate least disturbed by it.
void PrintBestRoundRatio(const std::vector<Round>& rounds) {
    double ours = 0, single = 0;
    for (const Round& round : rounds) {
        ours = std::max(ours, round.ours);
        single = std::max(single, round.single);
    }
    std::printf("whole-path ratio vs ffmpeg -threads 1, fastest round of each: %.3f (%.1f / %.1f pictures/s)\n",
                ours / single, ours, single);
}

void PrintRatio(const char* label, const std::vector<double>& ratios) {
    const SampleStats stats = Summarise(ratios);
    std::printf("whole-path ratio vs %s: %.3f (min %.3f, max %.3f)\n", label, stats.median, stats.min,
                stats.max);
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

    BenchInput input;
    std::string error;
    if (!LoadOrMakeInput(kBenchWidth, kBenchHeight, options.pictures, input, error)) {
        std::fprintf(stderr, "dlp-whole-path-bench: %s\n", error.c_str());
        return 1;
    }
    std::printf("machine: %s, %u cores\n", CpuModel().c_str(), std::thread::hardware_concurrency());
    std::printf("input: 1920x1080, %d pictures, recording %zu bytes, elementary stream %zu bytes\n",
                options.pictures, input.recording.size(), input.elementaryStream.size());

    std::vector<Round> rounds(static_cast<size_t>(options.rounds));
    std::vector<double> ratioSingle, ratioThreaded, ratioCpu;
    for (int r = 0; r < options.rounds; ++r) {
        if (!RunRound(r + 1, input, rounds[static_cast<size_t>(r)])) return 1;
        ratioSingle.push_back(rounds[static_cast<size_t>(r)].ours / rounds[static_cast<size_t>(r)].single);
        ratioThreaded.push_back(rounds[static_cast<size_t>(r)].ours / rounds[static_cast<size_t>(r)].threaded);
        ratioCpu.push_back(rounds[static_cast<size_t>(r)].cpuRatio);
    }
    if (!options.roundsCsv.empty()) WriteRoundsCsv(options.roundsCsv, rounds);

    PrintStageCosts("1920x1080 pattern", MeasureStageCosts(input.recording, haveDisplay), true);
    MeasurePaced(options, input, haveDisplay);

    PrintRatio("ffmpeg default threads", ratioThreaded);
    PrintRatio("ffmpeg -threads 1 by CPU time per picture", ratioCpu);
    PrintBestRoundRatio(rounds);
    const SampleStats single = Summarise(ratioSingle);
    std::printf("target whole path >= 0.95 of ffmpeg -threads 1: %s\n", single.median >= 0.95 ? "met" : "missed");
    PrintRatio("ffmpeg -threads 1", ratioSingle);
    return 0;
}
