#include "lib/view/track_map.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace {
constexpr double kMetresPerDegree = 111320.0;  // of latitude, and of longitude at the equator
constexpr double kPi = 3.14159265358979323846;
// A track that stands still still gets a panel some 100 m across.
constexpr double kSmallestSpanDegrees = 0.001;
}  // namespace

std::vector<TrackPoint> TrackOf(const PictureIndex& index, int64_t fromNumber) {
    std::vector<TrackPoint> points;
    for (int64_t n = std::max<int64_t>(1, fromNumber); n <= static_cast<int64_t>(index.Count()); ++n) {
        const IndexedPicture& p = index.Picture(n);
        if (!p.hasTelemetry) continue;
        const double lat = p.values.latitude, lon = p.values.longitude;
        if (!std::isfinite(lat) || !std::isfinite(lon) || std::fabs(lat) > 90 || std::fabs(lon) > 180) continue;
        if (lat == 0 && lon == 0) continue;
        points.push_back({n, lat, lon});
    }
    return points;
}

TrackMap::TrackMap(const std::vector<TrackPoint>& points, int width, int height, int margin) {
    if (points.empty() || width <= 2 * margin || height <= 2 * margin) return;
    double south = 90, north = -90, west = 180, east = -180;
    for (const TrackPoint& p : points) {
        south = std::min(south, p.latitude);
        north = std::max(north, p.latitude);
        west = std::min(west, p.longitude);
        east = std::max(east, p.longitude);
    }
    centreLatitude_ = (south + north) / 2;
    centreLongitude_ = (west + east) / 2;
    const double shrink = std::max(0.01, std::cos(centreLatitude_ * kPi / 180));
    const double spanNorth = std::max(north - south, kSmallestSpanDegrees);
    const double spanEast = std::max((east - west) * shrink, kSmallestSpanDegrees);
    const double scale = std::min((width - 2.0 * margin) / spanEast, (height - 2.0 * margin) / spanNorth);
    pixelsPerDegreeLatitude_ = scale;
    pixelsPerDegreeLongitude_ = scale * shrink;
    metresPerPixel_ = kMetresPerDegree / scale;
    centreX_ = width / 2.0;
    centreY_ = height / 2.0;
    empty_ = false;
}

double TrackMap::X(double longitude) const { return centreX_ + (longitude - centreLongitude_) * pixelsPerDegreeLongitude_; }

double TrackMap::Y(double latitude) const { return centreY_ - (latitude - centreLatitude_) * pixelsPerDegreeLatitude_; }

double TrackMap::ScaleBarMetres(double maxPixels) const {
    const double most = maxPixels * metresPerPixel_;
    if (!(most > 0)) return 0;
    double unit = std::pow(10.0, std::floor(std::log10(most)));
    for (double step : {5.0, 2.0, 1.0}) {
        if (step * unit <= most) return step * unit;
    }
    return unit;
}

int64_t TrackMap::Nearest(const std::vector<TrackPoint>& points, double x, double y) const {
    int64_t best = 0;
    double bestDistance = std::numeric_limits<double>::infinity();
    for (const TrackPoint& p : points) {
        const double dx = X(p.longitude) - x, dy = Y(p.latitude) - y;
        const double distance = dx * dx + dy * dy;
        if (distance < bestDistance) {
            bestDistance = distance;
            best = p.number;
        }
    }
    return best;
}
