// downlink-send: sends a recording as a link modem would, for trying a
// receiver (downlink-live) on a real link, with the link's faults if asked.

#include <atomic>
#include <csignal>
#include <cstdio>

#include "project_version.h"
#include "lib/sending/link_sender.h"

namespace {

std::atomic<bool> stopRequested{false};

void OnSignal(int) { stopRequested = true; }

}  // namespace

int main(int argc, char** argv) {
    using namespace send_recording;
    const SendOptions options = ParseSendOptions(argc, argv);
    switch (options.action) {
        case Action::kHelp: PrintSendUsage(); return kStatusOk;
        case Action::kVersion: std::printf("downlink-send %s\n", kProjectVersion); return kStatusOk;
        case Action::kUsageError:
            std::fprintf(stderr, "downlink-send: %s\nTry 'downlink-send --help'.\n", options.error.c_str());
            return kStatusUsage;
        case Action::kSend: break;
    }
    struct sigaction action = {};
    action.sa_handler = OnSignal;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
    std::signal(SIGPIPE, SIG_IGN);
    return SendRecording(options, stopRequested);
}
