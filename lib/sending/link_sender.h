#pragma once
// Sends a recording's bytes at the link's pace, packet by packet.

#include <atomic>

#include "lib/sending/send_options.h"

namespace send_recording {

// One of the exit statuses; `stop` ends it early (status 0).
int SendRecording(const SendOptions& options, const std::atomic<bool>& stop);

}  // namespace send_recording
