#pragma once
// Rounds of the whole-path comparison: in each, the player's path and the
// ffmpeg decoder play the same stream one after the other, and the ratio is
// taken pair by pair, which keeps the load of other processes, rising and
// falling during the run, out of it as far as possible.

#include <string>
#include <vector>

#include "bench/inputs/bench_input.h"

struct Round {
    double ours = 0;      // pictures per second
    double single = 0;    // ffmpeg -threads 1
    double threaded = 0;  // ffmpeg, decoder's default threads; 0 where not run
    double cpuRatio = 0;  // ours over ffmpeg -threads 1, by CPU time per picture
};

// The single-slice stream, with ffmpeg's default threads as a third run.
bool RunRound(int number, const BenchInput& input, Round& round);

// A stream of `slices` slices per picture: the pair alone. Its line, which
// starts with the slice count, is handed back rather than printed, so that
// the pairs can run between the single-slice ones (the two streams then see
// the same load) while their lines follow the single-slice figures.
bool RunSlicedRound(int number, int slices, const BenchInput& input, Round& round, std::string& line);

// Round by round: ours over `reference` in pictures per second, and the
// ratios by CPU time.
std::vector<double> OursOver(const std::vector<Round>& rounds, double Round::*reference);
std::vector<double> CpuRatios(const std::vector<Round>& rounds);

// Lines of the figures; `prefix` labels those of another stream than the
// single-slice one and is empty for it.
void PrintRatio(const std::string& prefix, const char* label, const std::vector<double>& ratios);
void PrintBestRoundRatio(const std::string& prefix, const std::vector<Round>& rounds);

// Pictures per second round by round; the sliced rounds, when there are
// any, add two columns after the single-slice ones.
void WriteRoundsCsv(const std::string& path, const std::vector<Round>& rounds,
                    const std::vector<Round>& slicedRounds, int slices);
