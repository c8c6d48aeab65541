#pragma once
// Order statistics of a handful of measurements (rounds, per-picture times).

#include <cstddef>
#include <vector>

struct SampleStats {
    double median = 0;
    double min = 0;
    double max = 0;
    double p99 = 0;
    double mean = 0;
    size_t count = 0;
};

// Nearest-rank percentiles; an empty sample gives all zeros.
SampleStats Summarise(std::vector<double> values);
