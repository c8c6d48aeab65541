#pragma once

#include <cstdint>

#include "pipeline/present/telemetry_record.h"

// A picture as the picture observer sees it: the RGB pixels shown (the crop,
// for channel 0; nullptr when nothing looks at them, see
// DecodeData::pixelsWanted), the record shown with it, and its tag, the
// number of the first slice that opened it, counted from 1 (0 when the
// decoder gave none).
struct ShownPicture {
    const uint8_t* rgb;
    int32_t width;
    int32_t height;
    const TelemetryRecord& record;
    int64_t tag;
};
