#pragma once
// The one real recording the micro-benchmarks share, made or loaded on
// first use and kept for the life of the process.

#include "bench/inputs/bench_input.h"

// Aborts the benchmark run with the reason when no input can be had.
const BenchInput& RecordedInput();
