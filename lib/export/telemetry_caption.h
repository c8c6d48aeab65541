#pragma once
// The telemetry as the exports' subtitles show it: short lines with units,
// narrow enough for a player's default subtitle size on any picture.

#include <string>

#include "lib/export/exported_picture.h"

// "#12  12:00:00.480\nLat 39.9042  Lon 116.401  H 1500 m\nAz 0°  Pt 74.99°",
// each value written as the player's line writes it, so that the two never
// disagree; no newline at the end.
std::string TelemetryCaption(const ExportedPicture& picture);
