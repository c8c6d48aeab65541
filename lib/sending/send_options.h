#pragma once
// downlink-send's command line.

#include <string>
#include <vector>

#include "lib/sending/impairment.h"

namespace send_recording {

constexpr int kStatusOk = 0;
constexpr int kStatusUsage = 1;
constexpr int kStatusCannotOpen = 2;
constexpr int kStatusSendFailed = 3;

struct Outage {
    double startSeconds;
    double seconds;
};

enum class Action { kSend, kHelp, kVersion, kUsageError };

struct SendOptions {
    Action action = Action::kSend;
    std::string error;
    std::string recording;
    std::string output;
    double rate = 0;  // bytes a second; 0 until parsed
    int framesPerPacket = 2;
    bool loop = false;
    uint64_t seed = 1;
    Impairments impairments;
    std::vector<Outage> outages;
};

SendOptions ParseSendOptions(int argc, char** argv);
void PrintSendUsage();

// The output URL with the datagram size of `packetBytes` for UDP.
std::string OutputUrl(const std::string& output, int packetBytes);
bool IsDatagramOutput(const std::string& output);

}  // namespace send_recording
