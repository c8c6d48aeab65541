#pragma once

class QGuiApplication;

// The window is drawn by OpenCV with Qt widgets, and a widget application
// aborts at start-up when it finds no display. Unless the user chose a Qt
// platform, ask for the X11 one and fall back to the offscreen one.
// Also keeps Qt from loading an OpenGL driver the window never uses.
// Call before the application object is made.
void PreferOffscreenWithoutDisplay();

// Says on standard error, once, that no display was found, when the
// fallback above was taken; the line starts with `program`.
void ReportWhenHeadless(const QGuiApplication& app, const char* program = "downlink-player");
