#include "bench/whole_path/sample_stats.h"

#include <algorithm>
#include <cmath>
#include <numeric>

namespace {

double NearestRank(const std::vector<double>& sorted, double fraction) {
    const double rank = std::ceil(fraction * static_cast<double>(sorted.size()));
    const size_t index = rank < 1 ? 0 : static_cast<size_t>(rank) - 1;
    return sorted[std::min(index, sorted.size() - 1)];
}

}  // namespace

SampleStats Summarise(std::vector<double> values) {
    SampleStats stats;
    if (values.empty()) return stats;
    std::sort(values.begin(), values.end());
    stats.count = values.size();
    stats.min = values.front();
    stats.max = values.back();
    const size_t mid = values.size() / 2;
    stats.median = values.size() % 2 ? values[mid] : (values[mid - 1] + values[mid]) / 2;
    stats.p99 = NearestRank(values, 0.99);
    stats.mean = std::accumulate(values.begin(), values.end(), 0.0) / static_cast<double>(values.size());
    return stats;
}
