#pragma once
// The real recordings the micro-benchmarks read, made or loaded on first
// use and kept for the life of the process: the benchmarks' own test
// pattern (small pictures, so telemetry units are a large share of the
// bytes) and the bundled sample (the link's full rate, mostly video).

#include <benchmark/benchmark.h>

#include "bench/inputs/bench_input.h"

enum class RecordedSource { kPattern = 0, kSample = 1 };

// Null when the source cannot be had; `why` then says what is missing.
const BenchInput* RecordedInput(RecordedSource source, std::string& why);

const char* SourceLabel(RecordedSource source);

// The input a benchmark's range(0) names, labelled; null after marking the
// benchmark skipped with the reason when it cannot be had.
const BenchInput* InputForBenchmark(benchmark::State& state);
