#include "lib/report/chart_series.h"

#include <algorithm>
#include <cmath>

double WrappedAngle(double degrees) { return degrees - 360 * std::floor((degrees + 180) / 360); }

namespace {

void AddPiece(ChartSeries& s, double from, double to, double low, double high) {
    s.bands.push_back({from, to, low, high});
    s.low = std::min(s.low, low);
    s.high = std::max(s.high, high);
}

// The bin's angles were followed from its first one, so `low` and `high`
// may stand beyond ±180°: shifted by whole turns they are cut at the edge.
void AddBand(ChartSeries& s, double from, double to, const ValueRange& r, ValueKind kind) {
    if (kind == ValueKind::kLinear) return AddPiece(s, from, to, r.low, r.high);
    if (r.high - r.low >= 360) return AddPiece(s, from, to, -180, 180);
    const double low = WrappedAngle(r.low);
    const double high = low + (r.high - r.low);
    if (high <= 180) return AddPiece(s, from, to, low, high);
    AddPiece(s, from, to, low, 180);
    AddPiece(s, from, to, -180, high - 360);
}

// An angle more than half a turn from the one before has wrapped round,
// and is not joined to it.
void AddPoint(ChartSeries& s, double seconds, double value, bool joined, ValueKind kind) {
    if (kind == ValueKind::kAngle) {
        value = WrappedAngle(value);
        joined = joined && !s.line.empty() && std::fabs(value - s.line.back().value) <= 180;
    }
    s.line.push_back({seconds, value, joined});
}

// A moment beyond the bins (a recording that grew while it was read) is
// drawn at the edge of its bin.
double Within(double seconds, double from, double to) { return std::clamp(seconds, from, to); }

}  // namespace

ChartSeries SeriesOf(const LinkTimeline& t, ValueRange TimelineBin::*value, ValueKind kind) {
    ChartSeries s;
    const double w = t.BinSeconds();
    bool open = false;
    double from = 0, to = 0;  // the last bin with records
    for (size_t i = 0; i < t.Bins().size(); ++i) {
        const TimelineBin& b = t.Bins()[i];
        if (b.records == 0) {
            open = false;
            continue;
        }
        from = static_cast<double>(i) * w;
        to = from + w;
        const ValueRange& r = b.*value;
        AddBand(s, from, to, r, kind);
        const bool firstBin = s.line.empty();
        if (firstBin) {
            const TimelineBin& a = t.FirstRecord();
            AddPoint(s, Within(a.recordSeconds, from, to), (a.*value).first, false, kind);
        }
        AddPoint(s, Within(b.recordSeconds / b.records, from, to), r.Mean(), open || firstBin, kind);
        open = true;
    }
    if (!s.line.empty()) {
        const TimelineBin& z = t.LastRecord();
        AddPoint(s, Within(z.recordSeconds, from, to), (z.*value).first, true, kind);
    }
    return s;
}
