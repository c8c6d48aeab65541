#pragma once
// Telemetry rows are given in the order pictures are shown; telemetry units
// go before the pictures in the order they are coded. With B-frames the two
// differ, and each picture's row must follow it.

#include <cstddef>
#include <cstdint>
#include <vector>

#include "core/format/telemetry_record.h"

// Where each picture of a clean elementary stream is shown, in coding
// order: result[k] is the place in display order of the k-th coded picture.
// Pictures are shown by picture order count within each run that an IDR
// picture starts. A stream whose counts cannot all be read keeps coding
// order.
std::vector<size_t> DisplayPlaces(const std::vector<uint8_t>& es);

// `shown` (one record per picture, in display order) put in coding order,
// ready to go before the pictures one by one.
std::vector<TelemetryRecord> RecordsInCodingOrder(const std::vector<TelemetryRecord>& shown,
                                                  const std::vector<uint8_t>& es);
