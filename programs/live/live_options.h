#pragma once
// downlink-live's command line.

#include <string>

#include "core/present/picture_window.h"

namespace live {

// Exit statuses, as --help and the manual page list them.
constexpr int kStatusOk = 0;
constexpr int kStatusUsage = 1;
constexpr int kStatusInputFailed = 2;  // cannot be opened, or failed while read
constexpr int kStatusBytesLost = 3;

enum class Action { kRun, kHelp, kVersion, kUsageError };

struct LiveOptions {
    Action action = Action::kRun;
    std::string error;  // for kUsageError
    std::string input;
    std::string record;         // empty: nothing is recorded
    double splitMinutes = 0;    // 0: one file
    bool force = false;
    int baud = 0;               // 0: leave a serial line's speed as it is
    std::string title = "RGB Image";
    int reorderMs = 40;         // how long a gap in the frame numbers waits; 0: off
    bool quiet = false;
    bool verbose = false;       // every decoder message as it comes, not a summary
    bool hud = true;            // telemetry and the link's state on the picture
    bool showDamaged = false;   // show pictures built on something lost
    WindowPlace place;          // --geometry; unset: the picture's size
};

// X11's geometry: "WIDTHxHEIGHT", optionally followed by "+X+Y".
bool ParseGeometry(const std::string& text, WindowPlace& place);

LiveOptions ParseLiveOptions(int argc, char** argv);
void PrintLiveUsage();

}  // namespace live
