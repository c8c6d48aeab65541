// Takes telemetry units out of the stream and keeps their record.

#include "core/demux/telemetry_units.h"
#include "pipeline/decode_data.h"

bool DecodeData::CaptureTelemetry(const uint8_t* unit, int32_t length) {
    return telemetry_units::ReadRecord(unit, length, telemetry);
}
