#pragma once
// What a chart over link time draws of one telemetry value, worked out
// apart from the drawing: each bin's band from its lowest to its highest
// value, and a line through each bin's mean at its records' mean moment,
// from the first record to the last. Every point of the line lies in the
// band of the bin it stands in.
//
// An angle is drawn on the chart's -180° to 180°: a bin that crosses ±180°
// has its band in two pieces, one at each edge (a bin that turned all the
// way round has the whole height), and the line breaks where it wraps.

#include <vector>

#include "lib/report/link_timeline.h"

struct BandPiece {
    double from, to;  // link seconds: the bin's
    double low, high;
};

struct LinePoint {
    double seconds, value;
    bool joined;  // the line comes to it from the point before
};

struct ChartSeries {
    std::vector<BandPiece> bands;
    std::vector<LinePoint> line;
    // The lowest and highest value drawn; low > high when nothing is.
    double low = 1e300, high = -1e300;
};

enum class ValueKind { kLinear, kAngle };

// The range of an angle in degrees, from -180 to just under 180.
double WrappedAngle(double degrees);
ChartSeries SeriesOf(const LinkTimeline& timeline, ValueRange TimelineBin::*value, ValueKind kind);
