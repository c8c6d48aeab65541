#pragma once
// The flight track drawn flat, north up: latitude and longitude to a
// panel's pixels and back, the length of a scale bar, and the picture
// nearest to a point on the panel. Over the few kilometres of a flight a
// local projection (east-west shrunk by the cosine of the middle latitude)
// keeps distances and angles true enough to read; no map tiles are needed.

#include <cstdint>
#include <vector>

#include "lib/view/picture_index.h"

struct TrackPoint {
    int64_t number = 0;  // the picture's number
    double latitude = 0;
    double longitude = 0;
};

// The pictures whose records hold a position that can be drawn (latitude
// within ±90°, longitude within ±180°, not both 0), in the order shown.
std::vector<TrackPoint> TrackOf(const PictureIndex& index, int64_t fromNumber = 1);

class TrackMap {
public:
    // Fits the points' extent into a width x height panel with `margin`
    // pixels round it, keeping the scale the same both ways.
    TrackMap(const std::vector<TrackPoint>& points, int width, int height, int margin);

    bool Empty() const { return empty_; }
    double X(double longitude) const;
    double Y(double latitude) const;
    double MetresPerPixel() const { return metresPerPixel_; }
    // A round length (1, 2 or 5 times a power of ten, in metres) whose bar
    // is at most `maxPixels` long.
    double ScaleBarMetres(double maxPixels) const;
    // The number of the point nearest to (x, y), 0 when there are none.
    int64_t Nearest(const std::vector<TrackPoint>& points, double x, double y) const;

private:
    bool empty_ = true;
    double centreLatitude_ = 0;
    double centreLongitude_ = 0;
    double pixelsPerDegreeLatitude_ = 1;
    double pixelsPerDegreeLongitude_ = 1;
    double metresPerPixel_ = 1;
    double centreX_ = 0;
    double centreY_ = 0;
};
