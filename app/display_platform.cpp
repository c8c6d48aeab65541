#include "app/display_platform.h"

#include <QGuiApplication>
#include <cstdio>
#include <cstdlib>

namespace {
const char kPlatformVariable[] = "QT_QPA_PLATFORM";
bool platformChosenHere = false;
}  // namespace

void PreferOffscreenWithoutDisplay() {
    const char* chosen = std::getenv(kPlatformVariable);
    if (chosen != nullptr && chosen[0] != '\0') return;
    // Qt tries the platforms in order and takes the first that starts.
    setenv(kPlatformVariable, "xcb;offscreen", 1);
    platformChosenHere = true;
}

void ReportWhenHeadless(const QGuiApplication& app) {
    if (!platformChosenHere || app.platformName() != QLatin1String("offscreen")) return;
    std::fprintf(stderr,
                 "downlink-player: no display found; pictures are not shown, "
                 "telemetry lines are still printed\n");
}
