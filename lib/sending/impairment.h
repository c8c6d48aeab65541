#pragma once
// The link's faults a sender imitates on datagrams, reproducible from a
// seed: every packet's fate depends only on the seed and its number, so a
// test can tell exactly which bytes a receiver should have seen.

#include <cstdint>
#include <vector>

namespace send_recording {

struct Impairments {
    double loss = 0;       // chance that a loss starts at a packet
    int burst = 1;         // packets each loss takes
    double jitterMs = 0;   // each packet leaves up to this much late
    double reorder = 0;    // chance that a pair of packets leaves swapped
    double duplicate = 0;  // chance that a packet leaves twice
    bool Any() const { return loss > 0 || jitterMs > 0 || reorder > 0 || duplicate > 0; }
};

struct Departure {
    uint64_t packet;
    double atMs;  // from the moment packet 0 is due
};

// Packets first .. first + count - 1 as they leave, in leaving order: lost
// ones left out, duplicates twice, swapped pairs and late ones in their new
// places. `intervalMs` is the nominal time between two packets.
std::vector<Departure> PlanDepartures(const Impairments& impairments, uint64_t seed, uint64_t first,
                                      uint64_t count, double intervalMs);

// Whether packet `packet` is lost, alone or in another's burst.
bool Lost(const Impairments& impairments, uint64_t seed, uint64_t packet);

}  // namespace send_recording
