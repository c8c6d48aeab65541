#include "lib/report/chart_drawing.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace {
constexpr const char* kFont = "DejaVu Sans";
constexpr uint32_t kGrid = 0xE3E6EA;
constexpr uint32_t kInk = 0x202428;
constexpr uint32_t kMuted = 0x5A6270;
constexpr double kTickSize = 12.5;

void UseFont(cairo_t* cr, double size, bool bold) {
    cairo_select_font_face(cr, kFont, CAIRO_FONT_SLANT_NORMAL,
                           bold ? CAIRO_FONT_WEIGHT_BOLD : CAIRO_FONT_WEIGHT_NORMAL);
    cairo_set_font_size(cr, size);
}

std::string FormatValue(double v, double step) {
    char text[32];
    const int decimals = step >= 1 ? 0 : static_cast<int>(std::ceil(-std::log10(step) - 1e-9));
    std::snprintf(text, sizeof text, "%.*f", decimals, std::fabs(v) < step * 1e-6 ? 0.0 : v);
    return text;
}
}  // namespace

void SetColour(cairo_t* cr, uint32_t rgb, double alpha) {
    cairo_set_source_rgba(cr, ((rgb >> 16) & 0xFF) / 255.0, ((rgb >> 8) & 0xFF) / 255.0, (rgb & 0xFF) / 255.0,
                          alpha);
}

double TextWidth(cairo_t* cr, const std::string& text, double size, bool bold) {
    UseFont(cr, size, bold);
    cairo_text_extents_t extents;
    cairo_text_extents(cr, text.c_str(), &extents);
    return extents.x_advance;
}

void LoadFonts() {
    cairo_matrix_t size, identity;
    cairo_matrix_init_scale(&size, 13, 13);
    cairo_matrix_init_identity(&identity);
    cairo_font_options_t* options = cairo_font_options_create();
    for (const bool bold : {false, true}) {
        cairo_font_face_t* face = cairo_toy_font_face_create(
            kFont, CAIRO_FONT_SLANT_NORMAL, bold ? CAIRO_FONT_WEIGHT_BOLD : CAIRO_FONT_WEIGHT_NORMAL);
        cairo_scaled_font_t* font = cairo_scaled_font_create(face, &size, &identity, options);
        cairo_text_extents_t extents;
        cairo_scaled_font_text_extents(font, "0", &extents);
        cairo_scaled_font_destroy(font);
        cairo_font_face_destroy(face);
    }
    cairo_font_options_destroy(options);
}

void DrawText(cairo_t* cr, double x, double y, const std::string& text, Align align, double size, bool bold) {
    const double width = TextWidth(cr, text, size, bold);
    if (align == Align::kCenter) x -= width / 2;
    if (align == Align::kRight) x -= width;
    cairo_move_to(cr, x, y);
    cairo_show_text(cr, text.c_str());
}

void DrawPanelTitle(cairo_t* cr, const Box& box, const std::string& title) {
    SetColour(cr, kInk);
    DrawText(cr, box.x, box.y - 8, title, Align::kLeft, 15, true);
}

void DrawNotice(cairo_t* cr, const Box& box, const std::string& text) {
    SetColour(cr, 0xF4F5F7);
    cairo_rectangle(cr, box.x, box.y, box.w, box.h);
    cairo_fill(cr);
    SetColour(cr, kMuted);
    const size_t colon = text.find(": ");
    const double cx = box.x + box.w / 2, cy = box.y + box.h / 2 + 6;
    // Too wide for a narrow panel: the part after the colon on a line of its own.
    if (colon == std::string::npos || TextWidth(cr, text, 16, true) < box.w - 20) {
        DrawText(cr, cx, cy, text, Align::kCenter, 16, true);
        return;
    }
    DrawText(cr, cx, cy - 11, text.substr(0, colon), Align::kCenter, 16, true);
    DrawText(cr, cx, cy + 11, text.substr(colon + 2), Align::kCenter, 14);
}

std::vector<double> NiceTicks(double low, double high, int wanted) {
    std::vector<double> ticks;
    if (!(high > low) || wanted < 1) return ticks;
    const double rough = (high - low) / wanted;
    const double power = std::pow(10.0, std::floor(std::log10(rough)));
    double step = power * 10;
    for (double m : {1.0, 2.0, 5.0}) {
        if (power * m >= rough) {
            step = power * m;
            break;
        }
    }
    for (double v = std::ceil(low / step - 1e-9) * step; v <= high + step * 1e-9; v += step) ticks.push_back(v);
    return ticks;
}

std::vector<double> TimeTicks(double seconds, int wanted) {
    static const double kSteps[] = {0.1, 0.2, 0.5, 1, 2, 5, 10, 15, 30, 60, 120, 300, 600, 900, 1800, 3600, 7200};
    double step = kSteps[sizeof kSteps / sizeof kSteps[0] - 1];
    for (double s : kSteps) {
        if (seconds / s <= wanted) {
            step = s;
            break;
        }
    }
    std::vector<double> ticks;
    for (int i = 0; i * step <= seconds + 1e-9; ++i) ticks.push_back(i * step);
    return ticks;
}

std::string FormatClock(double seconds, bool tenths) {
    const double rounded = tenths ? std::round(seconds * 10) / 10 : std::round(seconds);
    const long whole = static_cast<long>(rounded);
    char text[32];
    if (whole >= 3600) {
        std::snprintf(text, sizeof text, "%ld:%02ld:%02ld", whole / 3600, whole / 60 % 60, whole % 60);
    } else if (tenths) {
        std::snprintf(text, sizeof text, "%ld:%04.1f", whole / 60, rounded - (whole / 60) * 60.0);
    } else {
        std::snprintf(text, sizeof text, "%ld:%02ld", whole / 60, whole % 60);
    }
    return text;
}

std::string FormatBytes(uint64_t bytes) {
    static const char* kUnits[] = {"bytes", "kB", "MB", "GB", "TB"};
    double v = static_cast<double>(bytes);
    int unit = 0;
    while (v >= 1000 && unit < 4) {
        v /= 1000;
        ++unit;
    }
    char text[32];
    std::snprintf(text, sizeof text, unit == 0 ? "%.0f %s" : (v < 10 ? "%.2f %s" : "%.1f %s"), v, kUnits[unit]);
    return text;
}

std::string FormatCount(uint64_t n) {
    std::string digits = std::to_string(n);
    for (int i = static_cast<int>(digits.size()) - 3; i > 0; i -= 3) digits.insert(static_cast<size_t>(i), ",");
    return digits;
}

void DrawValueAxis(cairo_t* cr, const Plot& plot, const std::string& label, int wanted) {
    const Box& b = plot.box;
    SetColour(cr, 0xFFFFFF);
    cairo_rectangle(cr, b.x, b.y, b.w, b.h);
    cairo_fill(cr);
    const std::vector<double> ticks = NiceTicks(plot.y0, plot.y1, wanted);
    const double step = ticks.size() > 1 ? ticks[1] - ticks[0] : 1;
    cairo_set_line_width(cr, 1);
    for (double v : ticks) {
        const double y = std::round(plot.Y(v)) + 0.5;
        SetColour(cr, kGrid);
        cairo_move_to(cr, b.x, y);
        cairo_line_to(cr, b.x + b.w, y);
        cairo_stroke(cr);
        SetColour(cr, kMuted);
        DrawText(cr, b.x - 6, y + 4.5, FormatValue(v, step), Align::kRight, kTickSize);
    }
    cairo_save(cr);
    cairo_translate(cr, b.x - 54, b.y + b.h / 2);
    cairo_rotate(cr, -M_PI / 2);
    SetColour(cr, kInk);
    DrawText(cr, 0, 0, label, Align::kCenter, 13);
    cairo_restore(cr);
    SetColour(cr, 0xB8BEC6);
    cairo_rectangle(cr, b.x + 0.5, b.y + 0.5, b.w - 1, b.h - 1);
    cairo_stroke(cr);
}

void DrawTimeAxis(cairo_t* cr, const Plot& plot, double top, bool withLabel) {
    const Box& b = plot.box;
    // Room for each label: "1:45:00" needs more than "0:07".
    const double room = plot.x1 >= 3600 ? 110 : 70;
    const std::vector<double> ticks = TimeTicks(plot.x1, std::max(2, static_cast<int>(b.w / room)));
    const bool tenths = ticks.size() > 1 && ticks[1] - ticks[0] < 1;
    const double bottom = b.y + b.h;
    cairo_set_line_width(cr, 1);
    for (double t : ticks) {
        const double x = std::round(plot.X(t)) + 0.5;
        SetColour(cr, kGrid);
        cairo_move_to(cr, x, top);
        cairo_line_to(cr, x, bottom);
        cairo_stroke(cr);
        SetColour(cr, kMuted);
        DrawText(cr, x, bottom + 16, FormatClock(t, tenths), Align::kCenter, kTickSize);
    }
    if (!withLabel) return;
    SetColour(cr, kInk);
    const char* label = plot.x1 >= 3600 ? "link time (h:mm:ss)" : "link time (min:s)";
    DrawText(cr, b.x + b.w, bottom + 33, label, Align::kRight, 13);
}

double DrawLegendEntry(cairo_t* cr, double x, double y, uint32_t colour, const std::string& text) {
    SetColour(cr, colour);
    cairo_rectangle(cr, x, y - 10, 12, 12);
    cairo_fill(cr);
    SetColour(cr, kInk);
    DrawText(cr, x + 17, y, text, Align::kLeft, 13);
    return x + 17 + TextWidth(cr, text, 13) + 20;
}
