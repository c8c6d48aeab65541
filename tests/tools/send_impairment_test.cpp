// downlink-send's impairments: reproducible from the seed, each fault at
// about its rate and in its own shape, and none at all when none is asked.

#include <gtest/gtest.h>

#include <algorithm>
#include <map>

#include "lib/sending/impairment.h"
#include "lib/sending/send_options.h"

namespace {

using namespace send_recording;

constexpr uint64_t kPackets = 20000;

std::vector<uint64_t> Order(const std::vector<Departure>& plan) {
    std::vector<uint64_t> order;
    for (const Departure& d : plan) order.push_back(d.packet);
    return order;
}

std::map<uint64_t, int> Copies(const std::vector<Departure>& plan) {
    std::map<uint64_t, int> copies;
    for (const Departure& d : plan) ++copies[d.packet];
    return copies;
}

TEST(Impairment, NoneLeavesEveryPacketOnceInOrderOnTime) {
    const auto plan = PlanDepartures({}, 9, 100, 50, 2.0);
    ASSERT_EQ(plan.size(), 50u);
    for (size_t i = 0; i < plan.size(); ++i) {
        EXPECT_EQ(plan[i].packet, 100 + i);
        EXPECT_DOUBLE_EQ(plan[i].atMs, (100.0 + i) * 2.0);
    }
}

TEST(Impairment, EachFaultAtItsRateAndReproducibleFromTheSeed) {
    struct Case {
        const char* name;
        Impairments impairments;
        double lostShare;
        double duplicatedShare;
        double outOfOrderShare;
    };
    Impairments loss;
    loss.loss = 0.02;
    Impairments bursts = loss;
    bursts.burst = 5;
    Impairments twice;
    twice.duplicate = 0.1;
    Impairments swapped;
    swapped.reorder = 0.2;
    const Case cases[] = {
        {"loss", loss, 0.02, 0, 0},
        // Losses of five in a row: about 1 - 0.98^5 of the packets.
        {"bursts", bursts, 1 - 0.98 * 0.98 * 0.98 * 0.98 * 0.98, 0, 0},
        {"duplicates", twice, 0, 0.1, 0},
        // A fifth of the pairs swapped: a tenth of the packets arrive early.
        {"reorder", swapped, 0, 0, 0.1},
    };
    for (const Case& c : cases) {
        const auto plan = PlanDepartures(c.impairments, 42, 0, kPackets, 1.0);
        const auto copies = Copies(plan);
        double lost = static_cast<double>(kPackets - copies.size()) / kPackets;
        double duplicated = 0;
        for (const auto& [packet, n] : copies) duplicated += n == 2;
        duplicated /= kPackets;
        double early = 0;
        for (size_t i = 1; i < plan.size(); ++i) early += plan[i].packet < plan[i - 1].packet;
        early /= kPackets;
        EXPECT_NEAR(lost, c.lostShare, 0.01 + c.lostShare * 0.15) << c.name;
        EXPECT_NEAR(duplicated, c.duplicatedShare, 0.01 + c.duplicatedShare * 0.15) << c.name;
        EXPECT_NEAR(early, c.outOfOrderShare, 0.01 + c.outOfOrderShare * 0.15) << c.name;
        // Whatever the blocks it is planned in, a packet's fate is the same.
        std::vector<Departure> pieces;
        for (uint64_t first = 0; first < kPackets; first += 64) {
            const auto part = PlanDepartures(c.impairments, 42, first, std::min<uint64_t>(64, kPackets - first), 1.0);
            pieces.insert(pieces.end(), part.begin(), part.end());
        }
        EXPECT_TRUE(Order(pieces) == Order(plan)) << c.name;
        EXPECT_FALSE(Order(PlanDepartures(c.impairments, 43, 0, kPackets, 1.0)) == Order(plan)) << c.name;
    }
}

TEST(Impairment, BurstsAreRunsOfTheirLength) {
    Impairments bursts;
    bursts.loss = 0.01;
    bursts.burst = 4;
    uint64_t run = 0;
    for (uint64_t packet = 0; packet < kPackets; ++packet) {
        if (Lost(bursts, 7, packet)) {
            ++run;
        } else {
            if (run != 0) {
                EXPECT_GE(run, 4u) << "run ending before packet " << packet;
            }
            run = 0;
        }
    }
}

TEST(Impairment, JitterDelaysWithinItsBound) {
    Impairments late;
    late.jitterMs = 30;
    const auto plan = PlanDepartures(late, 3, 0, 1000, 2.0);
    ASSERT_EQ(plan.size(), 1000u);
    double latest = 0;
    for (const Departure& d : plan) {
        const double delay = d.atMs - static_cast<double>(d.packet) * 2.0;
        EXPECT_GE(delay, 0);
        EXPECT_LT(delay, 30);
        latest = std::max(latest, delay);
        if (&d != &plan.front()) {
            EXPECT_GE(d.atMs, (&d - 1)->atMs);
        }
    }
    EXPECT_GT(latest, 20);
}

SendOptions Parse(std::vector<std::string> args) {
    args.insert(args.begin(), "downlink-send");
    args.insert(args.end(), {"in.dat", "udp://127.0.0.1:5"});
    std::vector<char*> argv;
    for (std::string& arg : args) argv.push_back(arg.data());
    return ParseSendOptions(static_cast<int>(argv.size()), argv.data());
}

// Numbers are taken whole and finite, or refused with the option's name:
// a value that only starts like a number, or that no range check can hold
// (NaN, infinity), never reaches the sender.
TEST(SendOptions, NumbersAreRefusedUnlessWholeFiniteAndInRange) {
    const std::vector<std::vector<std::string>> accepted{
        {"--rate", "512000"}, {"--rate", "5.12e5"}, {"--loss", "0.25"}, {"--loss", "1"},
        {"--burst", "4"},     {"--jitter", "0"},    {"--frames-per-packet", "120"},
        {"--outage", "2.5:1"}, {"--outage", "0:0.5"},
    };
    for (const auto& args : accepted) EXPECT_EQ(Parse(args).action, Action::kSend) << args[0] << " " << args[1];
    const std::vector<std::vector<std::string>> refused{
        {"--rate", "inf"},      {"--rate", "nan"},     {"--rate", "511"},        {"--rate", "5e5x"},
        {"--rate", " 512000"},  {"--rate", ""},        {"--loss", "nan"},        {"--loss", "1.01"},
        {"--loss", "-0.1"},     {"--burst", "2.5"},    {"--burst", "1e9"},       {"--frames-per-packet", "0"},
        {"--jitter", "-1"},     {"--outage", "1:inf"}, {"--outage", "nan:1"},    {"--outage", "1:0"},
        {"--outage", "1"},
    };
    for (const auto& args : refused) {
        const SendOptions o = Parse(args);
        EXPECT_EQ(o.action, Action::kUsageError) << args[0] << " '" << args[1] << "'";
        EXPECT_NE(o.error.find(args[0]), std::string::npos) << o.error;
    }
}

TEST(SendOptions, DatagramSizeOnlyForUdp) {
    EXPECT_EQ(OutputUrl("udp://127.0.0.1:5", 1024), "udp://127.0.0.1:5?pkt_size=1024");
    EXPECT_EQ(OutputUrl("udp://127.0.0.1:5?ttl=2", 512), "udp://127.0.0.1:5?ttl=2&pkt_size=512");
    EXPECT_EQ(OutputUrl("udp://h:5?pkt_size=1316", 512), "udp://h:5?pkt_size=1316");
    EXPECT_EQ(OutputUrl("tcp://h:5", 512), "tcp://h:5");
}

}  // namespace
