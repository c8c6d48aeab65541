#include "app/orderly_stop.h"

#include <QSocketNotifier>
#include <csignal>
#include <fcntl.h>
#include <unistd.h>

namespace {

int stopPipe[2] = {-1, -1};

void OnSignal(int) {
    const char byte = 1;
    // Only async-signal-safe work here; a full pipe already holds a wake-up.
    [[maybe_unused]] ssize_t written = write(stopPipe[1], &byte, 1);
}

void InstallHandler(int signal) {
    struct sigaction action = {};
    action.sa_handler = OnSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigaction(signal, &action, nullptr);
}

}  // namespace

OrderlyStop::OrderlyStop(std::function<void()> onStop)
    : onStop_(std::move(onStop)), notifier_(nullptr) {
    if (pipe2(stopPipe, O_CLOEXEC | O_NONBLOCK) != 0) return;
    notifier_ = new QSocketNotifier(stopPipe[0], QSocketNotifier::Read, this);
    connect(notifier_, &QSocketNotifier::activated, this, [this] { Drain(); });
    InstallHandler(SIGINT);
    InstallHandler(SIGTERM);
}

OrderlyStop::~OrderlyStop() {
    std::signal(SIGINT, SIG_DFL);
    std::signal(SIGTERM, SIG_DFL);
}

void OrderlyStop::Drain() {
    char bytes[16];
    while (read(stopPipe[0], bytes, sizeof bytes) > 0) {
    }
    if (onStop_) onStop_();
}
