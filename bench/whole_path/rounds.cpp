#include "bench/whole_path/rounds.h"

#include <algorithm>
#include <cstdio>
#include <fstream>

#include "bench/whole_path/ffmpeg_decode.h"
#include "bench/whole_path/player_path.h"
#include "bench/whole_path/sample_stats.h"

namespace {

// The pair's order alternates, so that a load that rises or falls during
// the run favours neither side.
void RunPair(int number, const BenchInput& input, PlayerRun& ours, FfmpegRun& single) {
    if (number % 2 == 1) {
        ours = PlayUnpaced(input.recording);
        single = RunFfmpegDecode(input.videoStreamPath, 1);
    } else {
        single = RunFfmpegDecode(input.videoStreamPath, 1);
        ours = PlayUnpaced(input.recording);
    }
}

bool PlayerOk(const BenchInput& input, const PlayerRun& ours) {
    if (ours.pictures > 0) return true;
    std::fprintf(stderr, "the player's path decoded no picture of %s\n", input.recordingPath.c_str());
    return false;
}

bool FfmpegOk(const FfmpegRun& run) {
    if (!run.ok) std::fprintf(stderr, "ffmpeg failed:\n%s\n", run.error.c_str());
    return run.ok;
}

void FillPair(const PlayerRun& ours, const FfmpegRun& single, Round& round) {
    round.ours = static_cast<double>(ours.pictures) / ours.seconds;
    round.single = static_cast<double>(single.pictures) / single.seconds;
    round.cpuRatio = (single.cpuSeconds / static_cast<double>(single.pictures)) /
                     (ours.cpuSeconds / static_cast<double>(ours.pictures));
}

}  // namespace

bool RunRound(int number, const BenchInput& input, Round& round) {
    PlayerRun ours;
    FfmpegRun single;
    RunPair(number, input, ours, single);
    const FfmpegRun threaded = RunFfmpegDecode(input.videoStreamPath, 0);
    if (!PlayerOk(input, ours) || !FfmpegOk(single) || !FfmpegOk(threaded)) return false;
    FillPair(ours, single, round);
    round.threaded = static_cast<double>(threaded.pictures) / threaded.seconds;
    std::printf(
        "round %d: ours %.1f pictures/s (%ld in %.3f s); ffmpeg -threads 1 %.1f pictures/s (%ld in %.3f s, "
        "process %.3f s); ffmpeg default threads %.1f pictures/s; ratio %.3f (by CPU time %.3f)\n",
        number, round.ours, ours.pictures, ours.seconds, round.single, single.pictures, single.seconds,
        single.wallSeconds, round.threaded, round.ours / round.single, round.cpuRatio);
    std::fflush(stdout);
    return true;
}

bool RunSlicedRound(int number, int slices, const BenchInput& input, Round& round, std::string& line) {
    PlayerRun ours;
    FfmpegRun single;
    RunPair(number, input, ours, single);
    if (!PlayerOk(input, ours) || !FfmpegOk(single)) return false;
    FillPair(ours, single, round);
    char text[320];
    std::snprintf(text, sizeof text,
                  "%d slices, round %d: ours %.1f pictures/s (%ld in %.3f s); ffmpeg -threads 1 %.1f pictures/s "
                  "(%ld in %.3f s, process %.3f s); ratio %.3f (by CPU time %.3f)\n",
                  slices, number, round.ours, ours.pictures, ours.seconds, round.single, single.pictures,
                  single.seconds, single.wallSeconds, round.ours / round.single, round.cpuRatio);
    line = text;
    return true;
}

std::vector<double> OursOver(const std::vector<Round>& rounds, double Round::*reference) {
    std::vector<double> ratios;
    for (const Round& round : rounds) ratios.push_back(round.ours / (round.*reference));
    return ratios;
}

std::vector<double> CpuRatios(const std::vector<Round>& rounds) {
    std::vector<double> ratios;
    for (const Round& round : rounds) ratios.push_back(round.cpuRatio);
    return ratios;
}

void PrintRatio(const std::string& prefix, const char* label, const std::vector<double>& ratios) {
    const SampleStats stats = Summarise(ratios);
    std::printf("%swhole-path ratio vs %s: %.3f (min %.3f, max %.3f)\n", prefix.c_str(), label, stats.median,
                stats.min, stats.max);
}

// Other load only ever slows a run down, so each side's fastest round is
// the estimate least disturbed by it.
void PrintBestRoundRatio(const std::string& prefix, const std::vector<Round>& rounds) {
    double ours = 0, single = 0;
    for (const Round& round : rounds) {
        ours = std::max(ours, round.ours);
        single = std::max(single, round.single);
    }
    std::printf("%swhole-path ratio vs ffmpeg -threads 1, fastest round of each: %.3f (%.1f / %.1f pictures/s)\n",
                prefix.c_str(), ours / single, ours, single);
}

void WriteRoundsCsv(const std::string& path, const std::vector<Round>& rounds,
                    const std::vector<Round>& slicedRounds, int slices) {
    const bool sliced = slicedRounds.size() == rounds.size();
    const std::string suffix = "_" + std::to_string(slices) + "_slices";
    std::ofstream out(path);
    out << "round,ours,ffmpeg_threads_1,ffmpeg_default_threads";
    if (sliced) out << ",ours" << suffix << ",ffmpeg_threads_1" << suffix;
    out << '\n';
    for (size_t i = 0; i < rounds.size(); ++i) {
        out << i + 1 << ',' << rounds[i].ours << ',' << rounds[i].single << ',' << rounds[i].threaded;
        if (sliced) out << ',' << slicedRounds[i].ours << ',' << slicedRounds[i].single;
        out << '\n';
    }
}
