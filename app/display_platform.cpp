#include "app/display_platform.h"

#include <QGuiApplication>
#include <cstdio>
#include <cstdlib>

namespace {
const char kPlatformVariable[] = "QT_QPA_PLATFORM";
const char kGlIntegrationVariable[] = "QT_XCB_GL_INTEGRATION";
bool platformChosenHere = false;
}  // namespace

void PreferOffscreenWithoutDisplay() {
    // OpenCV's window paints without OpenGL, yet Qt's X11 platform loads the
    // GL driver unless told otherwise: some 50 MB of resident memory for
    // nothing (under Xvfb, Mesa's software renderer with LLVM).
    setenv(kGlIntegrationVariable, "none", 0);
    const char* chosen = std::getenv(kPlatformVariable);
    if (chosen != nullptr && chosen[0] != '\0') return;
    // Qt tries the platforms in order and takes the first that starts. With
    // no X display named at all, trying X11 would only add Qt's warnings.
    const char* display = std::getenv("DISPLAY");
    const bool displayNamed = display != nullptr && display[0] != '\0';
    setenv(kPlatformVariable, displayNamed ? "xcb;offscreen" : "offscreen", 1);
    platformChosenHere = true;
}

void ReportWhenHeadless(const QGuiApplication& app, const char* program) {
    if (!platformChosenHere || app.platformName() != QLatin1String("offscreen")) return;
    std::fprintf(stderr,
                 "%s: no display found; pictures are not shown, "
                 "telemetry lines are still printed\n",
                 program);
}
