#pragma once
// Tracks for maps: where the sensor was at each picture, with its time.
// A picture whose latitude or longitude is out of range (beyond +-90 or
// +-180), or whose position or height is not finite, is left out of the
// track: a map cannot place it, and a reader would reject the whole file
// for it.

#include <memory>

#include "lib/export/track_writers.h"

// GPX 1.1: one track, one segment, one point per picture.
std::unique_ptr<TrackWriter> MakeGpxWriter();

// KML 2.2: one Placemark whose time span runs from the first point to the
// last, holding a gx:Track with one time and one coordinate per picture.
std::unique_ptr<TrackWriter> MakeKmlWriter();
