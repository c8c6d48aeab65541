// The two panels over link time: link frames with their damage, and the
// stream's bit rate by unit kind.

#include <algorithm>
#include <array>
#include <cmath>

#include "lib/report/report_panels.h"

namespace {

constexpr uint32_t kFrameColour = 0x3B7DD8;
constexpr uint32_t kInvalidColour = 0xD62728;
constexpr uint32_t kBreakColour = 0xF28E1C;
constexpr double kStripHeight = 16;
constexpr double kAxisRoom = 40;  // tick labels and the axis label below a plot

Plot TimePlot(const Box& box, double bottomRoom, const LinkTimeline& timeline, double yHigh) {
    const Box area{box.x + kAxisMargin, box.y, box.w - kAxisMargin - 12, box.h - bottomRoom};
    return Plot{area, 0, std::max(timeline.DurationSeconds(), 1e-3), 0, yHigh};
}

// Room for about 10 % above the highest value, on a tick.
double AxisTop(double highest, double floor) {
    const std::vector<double> ticks = NiceTicks(0, std::max(highest * 1.1, floor), 5);
    return ticks.empty() ? floor : ticks.back() < highest * 1.05 ? ticks.back() * 1.25 : ticks.back();
}

// One value a bin, drawn as steps and filled down to zero.
template <typename Lower, typename Upper>
void FillSteps(cairo_t* cr, const Plot& plot, const LinkTimeline& t, Lower lower, Upper upper) {
    const size_t n = t.Bins().size();
    const double w = t.BinSeconds();
    cairo_move_to(cr, plot.X(0), plot.Y(lower(0)));
    for (size_t i = 0; i < n; ++i) {
        cairo_line_to(cr, plot.X(i * w), plot.Y(upper(i)));
        cairo_line_to(cr, plot.X((i + 1) * w), plot.Y(upper(i)));
    }
    for (size_t i = n; i-- > 0;) {
        cairo_line_to(cr, plot.X((i + 1) * w), plot.Y(lower(i)));
        cairo_line_to(cr, plot.X(i * w), plot.Y(lower(i)));
    }
    cairo_close_path(cr);
    cairo_fill(cr);
}

// A row of marks under the plot, one for every bin where `count` is not 0.
template <typename CountOf>
void DrawMarkStrip(cairo_t* cr, const Plot& plot, double y, const LinkTimeline& t, uint32_t colour,
                   const char* label, CountOf count) {
    SetColour(cr, 0xF4F5F7);
    cairo_rectangle(cr, plot.box.x, y, plot.box.w, kStripHeight);
    cairo_fill(cr);
    SetColour(cr, 0x202428);
    DrawText(cr, plot.box.x - 6, y + kStripHeight - 4, label, Align::kRight, 12.5);
    SetColour(cr, colour);
    const double w = t.BinSeconds();
    for (size_t i = 0; i < t.Bins().size(); ++i) {
        if (count(t.Bins()[i]) == 0) continue;
        const double x = plot.X(i * w);
        cairo_rectangle(cr, x, y, std::max(2.0, plot.X((i + 1) * w) - x), kStripHeight);
    }
    cairo_fill(cr);
}

}  // namespace

void DrawLinkPanel(cairo_t* cr, const Box& box, const ReportPage& page) {
    const LinkTimeline& t = page.timeline;
    const double binSeconds = std::max(t.BinSeconds(), 1e-9);
    double highest = 0;
    for (const TimelineBin& b : t.Bins()) highest = std::max(highest, b.frames / binSeconds);
    const Plot plot = TimePlot(box, 2 * (kStripHeight + 6) + kAxisRoom, t, AxisTop(highest, 1100));
    DrawPanelTitle(cr, box, "Link: frames per second, and where frames were invalid or numbers broke");
    DrawValueAxis(cr, plot, "link frames/s");
    SetColour(cr, kFrameColour, 0.85);
    const auto zero = [](size_t) { return 0.0; };
    FillSteps(cr, plot, t, zero, [&](size_t i) { return t.Bins()[i].frames / binSeconds; });
    const double stripTop = plot.box.y + plot.box.h + 6;
    DrawMarkStrip(cr, plot, stripTop, t, kInvalidColour, "invalid",
                  [](const TimelineBin& b) { return b.invalidFrames; });
    DrawMarkStrip(cr, plot, stripTop + kStripHeight + 6, t, kBreakColour, "breaks",
                  [](const TimelineBin& b) { return b.sequenceBreaks; });
    Plot axis = plot;
    axis.box.h = stripTop + 2 * (kStripHeight + 6) - plot.box.y;
    DrawTimeAxis(cr, axis, plot.box.y, true);
    double x = plot.box.x + plot.box.w - 560;
    x = DrawLegendEntry(cr, x, box.y - 8, kFrameColour, "frames");
    x = DrawLegendEntry(cr, x, box.y - 8, kInvalidColour,
                        "invalid frames " + FormatCount(page.facts.invalidFrames));
    DrawLegendEntry(cr, x, box.y - 8, kBreakColour,
                    "sequence breaks " + FormatCount(page.facts.sequenceBreaks) + " (" +
                        FormatCount(t.FramesLost()) + " numbers skipped)");
}

void DrawRatePanel(cairo_t* cr, const Box& box, const ReportPage& page) {
    static const std::array<uint32_t, kUnitKinds> kColours = {0x3B7DD8, 0xF28E1C, 0xB5BBC4, 0x2CA02C};
    static const std::array<const char*, kUnitKinds> kNames = {"video", "telemetry", "filler", "other"};
    const LinkTimeline& t = page.timeline;
    const double toMbit = 8.0 / std::max(t.BinSeconds(), 1e-9) / 1e6;
    std::array<uint64_t, kUnitKinds> totals{};
    double highest = 0;
    for (const TimelineBin& b : t.Bins()) {
        uint64_t sum = 0;
        for (int k = 0; k < kUnitKinds; ++k) totals[k] += b.unitBytes[k], sum += b.unitBytes[k];
        highest = std::max(highest, sum * toMbit);
    }
    const Plot plot = TimePlot(box, kAxisRoom, t, AxisTop(highest, 1));
    DrawPanelTitle(cr, box, "Stream bit rate by unit kind (stacked)");
    DrawValueAxis(cr, plot, "Mbit/s");
    for (int k = 0; k < kUnitKinds; ++k) {
        const auto below = [&](size_t i) {
            uint64_t s = 0;
            for (int j = 0; j < k; ++j) s += t.Bins()[i].unitBytes[j];
            return s * toMbit;
        };
        SetColour(cr, kColours[k], 0.9);
        FillSteps(cr, plot, t, below, [&](size_t i) { return below(i) + t.Bins()[i].unitBytes[k] * toMbit; });
    }
    DrawTimeAxis(cr, plot, plot.box.y, true);
    double x = plot.box.x + plot.box.w - 620;
    const double seconds = std::max(t.DurationSeconds(), 1e-9);
    for (int k = 0; k < kUnitKinds; ++k) {
        char mean[48];
        std::snprintf(mean, sizeof mean, "%s %.2f Mbit/s", kNames[k], totals[k] * 8.0 / seconds / 1e6);
        x = DrawLegendEntry(cr, x, box.y - 8, kColours[k], mean);
    }
}
