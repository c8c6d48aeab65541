// downlink-view: reviews a recording picture by picture, or steps back
// through one that downlink-live is still writing.

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include <QApplication>

#include "lib/reading/recording_kind.h"
#include "programs/view/view_window.h"
#include "project_version.h"

namespace {

// The status downlink-play ends with for a file it cannot play.
constexpr int kUnreadableStatus = 2;
constexpr int kUsageStatus = 1;

void PrintUsage() {
    std::printf(
        "usage: downlink-view RECORDING\n"
        "Shows a downlink recording picture by picture, with each picture's telemetry\n"
        "on it, the flight track beside it and the link's losses under the seek bar.\n"
        "A recording still being written is followed as it grows.\n"
        "\n"
        "keys:\n"
        "  space          play or pause\n"
        "  . ,            one picture forward, back\n"
        "  Right Left     5 s forward, back (with Shift: 1 s)\n"
        "  Up Down        1 min forward, back\n"
        "  ] [            faster, slower (0.25x to 8x); Backspace: 1x\n"
        "  g              go to a picture number or a time (120, 4.8s, 1:23.5)\n"
        "  Home End       first picture; last picture, or the live end\n"
        "  h              heads-up display on or off\n"
        "  s              save the picture as PNG in the working folder,\n"
        "                 its telemetry line in the PNG's text\n"
        "  i o e          mark in, mark out, export the marked pictures to MKV\n"
        "  q Esc          quit\n"
        "A click on the seek bar or on the track shows the picture there.\n"
        "\n"
        "The index of the recording's pictures is kept beside it in\n"
        "RECORDING.dlvindex (or in ~/.cache/downlink-view when that folder cannot\n"
        "be written) and made again when the recording changes.\n"
        "\n"
        "  --help      this text\n"
        "  --version   the version\n");
}

bool HasDisplay() {
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"}) {
        const char* value = std::getenv(name);
        if (value != nullptr && value[0] != '\0') return true;
    }
    return false;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 2 && std::strcmp(argv[1], "--help") == 0) {
        PrintUsage();
        return 0;
    }
    if (argc == 2 && std::strcmp(argv[1], "--version") == 0) {
        std::printf("downlink-view %s\n", kProjectVersion);
        return 0;
    }
    if (argc != 2 || argv[1][0] == '\0' || (argv[1][0] == '-' && argv[1][1] != '\0')) {
        std::fprintf(stderr, "usage: downlink-view RECORDING (--help tells more)\n");
        return kUsageStatus;
    }
    const std::string recording = argv[1];
    const std::string problem = recording_kind::ProblemReading(recording);
    if (!problem.empty()) {
        std::fprintf(stderr, "downlink-view: %s\n", problem.c_str());
        return kUnreadableStatus;
    }
    if (!HasDisplay()) {
        std::fprintf(stderr, "downlink-view: no display to open a window on (DISPLAY is not set)\n");
        return kUsageStatus;
    }
    QApplication app(argc, argv);
    ViewWindow window(recording);
    window.show();
    return app.exec();
}
