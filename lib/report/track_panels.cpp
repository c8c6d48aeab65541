// The flight track from the telemetry records: latitude against longitude
// with its start and end, and height and the two angles over link time.

#include <algorithm>
#include <cmath>
#include <vector>

#include "lib/report/chart_series.h"
#include "lib/report/report_panels.h"

namespace {

constexpr uint32_t kTrackColour = 0x3B7DD8;
constexpr uint32_t kStartColour = 0x2CA02C;
constexpr uint32_t kEndColour = 0xD62728;
constexpr uint32_t kPitchColour = 0xF28E1C;

struct Span {
    double low = 0, high = 0;
};

// Widened a little, and never empty, so that a still aircraft still shows.
Span Padded(double low, double high, double least) {
    const double pad = std::max((high - low) * 0.08, least);
    return {low - pad, high + pad};
}

// Equal scales along both axes: the wider side sets the scale.
Plot MapPlot(const Box& box, Span lon, Span lat, double lonScale) {
    const double perX = (lon.high - lon.low) * lonScale / box.w;
    const double perY = (lat.high - lat.low) / box.h;
    const double per = std::max(perX, perY);
    const double cx = (lon.low + lon.high) / 2, cy = (lat.low + lat.high) / 2;
    const double halfW = box.w * per / lonScale / 2, halfH = box.h * per / 2;
    return Plot{box, cx - halfW, cx + halfW, cy - halfH, cy + halfH};
}

void DrawLonAxis(cairo_t* cr, const Plot& plot) {
    const std::vector<double> ticks = NiceTicks(plot.x0, plot.x1, 4);
    const double step = ticks.size() > 1 ? ticks[1] - ticks[0] : 1;
    const int decimals = step >= 1 ? 0 : static_cast<int>(std::ceil(-std::log10(step) - 1e-9));
    for (double v : ticks) {
        char text[32];
        std::snprintf(text, sizeof text, "%.*f", decimals, v);
        SetColour(cr, 0x5A6270);
        DrawText(cr, plot.X(v), plot.box.y + plot.box.h + 16, text, Align::kCenter, 12.5);
    }
    SetColour(cr, 0x202428);
    DrawText(cr, plot.box.x + plot.box.w, plot.box.y + plot.box.h + 33, "longitude (°)", Align::kRight, 13);
}

// The start's label below its mark, the end's above: a closed track puts them together.
void DrawMarker(cairo_t* cr, double x, double y, uint32_t colour, const char* label, bool square) {
    SetColour(cr, colour);
    if (square) {
        cairo_rectangle(cr, x - 6, y - 6, 12, 12);
    } else {
        cairo_arc(cr, x, y, 6.5, 0, 2 * M_PI);
    }
    cairo_fill(cr);
    DrawText(cr, x + 10, square ? y - 8 : y + 18, label, Align::kLeft, 13, true);
}

// The series' line, broken where it says so.
void DrawLine(cairo_t* cr, const Plot& plot, const ChartSeries& s) {
    for (const LinePoint& p : s.line) {
        const double x = plot.X(p.seconds), y = plot.Y(p.value);
        p.joined ? cairo_line_to(cr, x, y) : cairo_move_to(cr, x, y);
    }
    cairo_set_line_width(cr, 2);
    cairo_stroke(cr);
}

// Each bin's lowest to highest value, as a light bar behind the line.
void DrawBand(cairo_t* cr, const Plot& plot, const ChartSeries& s) {
    for (const BandPiece& b : s.bands) {
        const double x = plot.X(b.from), top = plot.Y(b.high);
        cairo_rectangle(cr, x, top, std::max(1.0, plot.X(b.to) - x), std::max(1.0, plot.Y(b.low) - top));
    }
    cairo_fill(cr);
}

template <typename Value>
Span SpanOf(const LinkTimeline& t, Value value) {
    Span s{1e300, -1e300};
    for (const TimelineBin& b : t.Bins()) {
        if (b.records == 0) continue;
        s.low = std::min(s.low, value(b).low);
        s.high = std::max(s.high, value(b).high);
    }
    return s;
}

Plot SmallTimePlot(const Box& box, const LinkTimeline& t, Span values) {
    const Box area{box.x + kAxisMargin, box.y, box.w - kAxisMargin - 8, box.h - 40};
    return Plot{area, 0, std::max(t.DurationSeconds(), 1e-3), values.low, values.high};
}

}  // namespace

void DrawTrackMap(cairo_t* cr, const Box& box, const ReportPage& page) {
    DrawPanelTitle(cr, box, "Flight track (latitude / longitude)");
    const LinkTimeline& t = page.timeline;
    if (!t.HasRecords()) return DrawNotice(cr, box, kNoTelemetryNotice);
    const Span lat = SpanOf(t, [](const TimelineBin& b) { return b.latitude; });
    const Span lon = SpanOf(t, [](const TimelineBin& b) { return b.longitude; });
    const double lonScale = std::max(0.05, std::cos((lat.low + lat.high) / 2 * M_PI / 180));
    const Box area{box.x + kAxisMargin, box.y, box.w - kAxisMargin - 8, box.h - 40};
    const Span padLat = Padded(lat.low, lat.high, 1e-4), padLon = Padded(lon.low, lon.high, 1e-4);
    const Plot plot = MapPlot(area, padLon, padLat, lonScale);
    DrawValueAxis(cr, plot, "latitude (°)", 4);
    DrawLonAxis(cr, plot);
    SetColour(cr, kTrackColour);
    bool open = false;
    for (const TimelineBin& b : t.Bins()) {
        if (b.records == 0) continue;
        const double x = plot.X(b.longitude.first), y = plot.Y(b.latitude.first);
        open ? cairo_line_to(cr, x, y) : cairo_move_to(cr, x, y);
        open = true;
    }
    cairo_line_to(cr, plot.X(t.LastRecord().longitude.first), plot.Y(t.LastRecord().latitude.first));
    cairo_set_line_width(cr, 2);
    cairo_stroke(cr);
    const TimelineBin& a = t.FirstRecord();
    const TimelineBin& z = t.LastRecord();
    DrawMarker(cr, plot.X(a.longitude.first), plot.Y(a.latitude.first), kStartColour, "start", false);
    DrawMarker(cr, plot.X(z.longitude.first), plot.Y(z.latitude.first), kEndColour, "end", true);
}

void DrawHeightPanel(cairo_t* cr, const Box& box, const ReportPage& page) {
    DrawPanelTitle(cr, box, "Height");
    const LinkTimeline& t = page.timeline;
    if (!t.HasRecords()) return DrawNotice(cr, box, kNoTelemetryNotice);
    const ChartSeries height = SeriesOf(t, &TimelineBin::height, ValueKind::kLinear);
    const Plot plot = SmallTimePlot(box, t, Padded(height.low, height.high, 1));
    DrawValueAxis(cr, plot, "height (m)", 4);
    SetColour(cr, kTrackColour, 0.25);
    DrawBand(cr, plot, height);
    SetColour(cr, kTrackColour);
    DrawLine(cr, plot, height);
    DrawTimeAxis(cr, plot, plot.box.y, true);
}

void DrawAnglesPanel(cairo_t* cr, const Box& box, const ReportPage& page) {
    DrawPanelTitle(cr, box, "Camera angles");
    const LinkTimeline& t = page.timeline;
    if (!t.HasRecords()) return DrawNotice(cr, box, kNoTelemetryNotice);
    const ChartSeries az = SeriesOf(t, &TimelineBin::azimuth, ValueKind::kAngle);
    const ChartSeries pt = SeriesOf(t, &TimelineBin::pitch, ValueKind::kLinear);
    const Plot plot = SmallTimePlot(box, t, Padded(std::min(az.low, pt.low), std::max(az.high, pt.high), 1));
    DrawValueAxis(cr, plot, "angle (°)", 4);
    SetColour(cr, kTrackColour, 0.25);
    DrawBand(cr, plot, az);
    SetColour(cr, kPitchColour, 0.25);
    DrawBand(cr, plot, pt);
    SetColour(cr, kTrackColour);
    DrawLine(cr, plot, az);
    SetColour(cr, kPitchColour);
    DrawLine(cr, plot, pt);
    DrawTimeAxis(cr, plot, plot.box.y, true);
    const double x = DrawLegendEntry(cr, box.x + box.w - 190, box.y - 8, kTrackColour, "Az");
    DrawLegendEntry(cr, x, box.y - 8, kPitchColour, "Pt");
}
