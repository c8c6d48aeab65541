#include "lib/sending/impairment.h"

#include <algorithm>

namespace send_recording {

namespace {

enum Draw : uint64_t { kLoss = 1, kDuplicate = 2, kReorder = 3, kJitter = 4 };

// splitmix64 of (seed, packet, draw): independent draws without state, so
// that a fate never depends on the packets before it.
double Uniform(uint64_t seed, uint64_t packet, Draw draw) {
    uint64_t z = seed ^ (packet * 0x9E3779B97F4A7C15ull) ^ (static_cast<uint64_t>(draw) << 56);
    z += 0x9E3779B97F4A7C15ull;
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    z ^= z >> 31;
    return static_cast<double>(z >> 11) * (1.0 / 9007199254740992.0);
}

// A swapped pair is packets 2k and 2k + 1.
uint64_t Slot(const Impairments& impairments, uint64_t seed, uint64_t packet) {
    const uint64_t pairStart = packet & ~uint64_t{1};
    if (impairments.reorder <= 0 || Uniform(seed, pairStart, kReorder) >= impairments.reorder) return packet;
    return packet ^ 1u;
}

}  // namespace

bool Lost(const Impairments& impairments, uint64_t seed, uint64_t packet) {
    if (impairments.loss <= 0) return false;
    const uint64_t span = static_cast<uint64_t>(std::max(impairments.burst, 1));
    const uint64_t earliest = packet >= span - 1 ? packet - (span - 1) : 0;
    for (uint64_t start = earliest; start <= packet; ++start) {
        if (Uniform(seed, start, kLoss) < impairments.loss) return true;
    }
    return false;
}

std::vector<Departure> PlanDepartures(const Impairments& impairments, uint64_t seed, uint64_t first,
                                      uint64_t count, double intervalMs) {
    std::vector<Departure> plan;
    plan.reserve(static_cast<size_t>(count));
    for (uint64_t packet = first; packet < first + count; ++packet) {
        if (Lost(impairments, seed, packet)) continue;
        const double late = impairments.jitterMs * Uniform(seed, packet, kJitter);
        const double at = static_cast<double>(Slot(impairments, seed, packet)) * intervalMs + late;
        plan.push_back({packet, at});
        if (impairments.duplicate > 0 && Uniform(seed, packet, kDuplicate) < impairments.duplicate) {
            plan.push_back({packet, at});
        }
    }
    std::stable_sort(plan.begin(), plan.end(),
                     [](const Departure& a, const Departure& b) { return a.atMs < b.atMs; });
    return plan;
}

}  // namespace send_recording
