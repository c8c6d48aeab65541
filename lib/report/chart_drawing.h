#pragma once
// The drawing pieces every panel of the report page shares: text, colours,
// plot areas with their scales, and axes with readable ticks.

#include <cairo.h>

#include <cstdint>
#include <string>
#include <vector>

struct Box {
    double x, y, w, h;
};

enum class Align { kLeft, kCenter, kRight };

void SetColour(cairo_t* cr, uint32_t rgb, double alpha = 1.0);
// `y` is the text's baseline.
void DrawText(cairo_t* cr, double x, double y, const std::string& text, Align align, double size,
              bool bold = false);
double TextWidth(cairo_t* cr, const std::string& text, double size, bool bold = false);
// Looks the text's faces up and opens them, on no surface: a surface would
// take a number that the SVG page's images are named by.
void LoadFonts();
// A panel's title above its box, and a notice centred in an empty box.
void DrawPanelTitle(cairo_t* cr, const Box& box, const std::string& title);
void DrawNotice(cairo_t* cr, const Box& box, const std::string& text);

// Ticks at 1, 2 or 5 times a power of ten, about `wanted` of them.
std::vector<double> NiceTicks(double low, double high, int wanted);
// Ticks on a clock's steps (seconds, minutes, hours) over 0..seconds.
std::vector<double> TimeTicks(double seconds, int wanted);
// "0:07", "12:30", "1:05:00"; tenths when ticks are closer than a second.
std::string FormatClock(double seconds, bool tenths = false);
// "5.1 MB", "3.46 GB".
std::string FormatBytes(uint64_t bytes);
// "12,345".
std::string FormatCount(uint64_t n);

// A plot area and the value ranges it shows.
struct Plot {
    Box box;
    double x0, x1, y0, y1;
    double X(double v) const { return box.x + (v - x0) / (x1 - x0) * box.w; }
    double Y(double v) const { return box.y + box.h - (v - y0) / (y1 - y0) * box.h; }
};

// Background, grid and left axis with its label, turned to read upwards.
void DrawValueAxis(cairo_t* cr, const Plot& plot, const std::string& label, int wanted = 5);
// Link time along the bottom of `plot`, from 0 to the duration.
void DrawTimeAxis(cairo_t* cr, const Plot& plot, double top, bool withLabel);
// A legend entry: a colour swatch and its text; returns the x after it.
double DrawLegendEntry(cairo_t* cr, double x, double y, uint32_t colour, const std::string& text);
