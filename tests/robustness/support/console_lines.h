#pragma once
// How the robustness tests read the player's console: the shapes a line may
// take and the markers test recordings put into the telemetry.

#include <string>

#include "tests/support/player_process.h"

using test_player::ConsoleLines;

// The shapes a console line of the player may take: a telemetry line, the
// splitter's one diagnostic, the replay's completion line, the conversion's
// message.
bool IsWellFormedConsoleLine(const std::string& line);
bool IsTelemetryLine(const std::string& line);
bool IsCompletionLine(const std::string& line);
// The marker a test stream put into the record's height field, from the
// line's "H:" value; -1 when the line carries none.
int MarkerOf(const std::string& line);
// Telemetry lines whose marker lies in [first, last].
int CountMarkers(const ConsoleLines& lines, int first, int last);
