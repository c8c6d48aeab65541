#pragma once
// The line-per-picture formats: subtitles that show the telemetry line for
// as long as its picture, and a table of the values.

#include <memory>

#include "lib/export/track_writers.h"

// SubRip: one cue per picture, numbered from 1, text = the telemetry line.
std::unique_ptr<TrackWriter> MakeSrtWriter();

// "picture,time,azimuth,pitch,longitude,latitude,height", then per picture
// its number, its UTC time and the five values as the player prints them.
std::unique_ptr<TrackWriter> MakeCsvWriter();
