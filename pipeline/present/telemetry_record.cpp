#include "pipeline/present/telemetry_record.h"

#include "pipeline/byte_order.h"

TelemetryValues DecodeTelemetry(const TelemetryRecord& record) {
    using namespace telemetry_field;
    const uint8_t* r = record.bytes;
    TelemetryValues v;
    const double azimuth = static_cast<double>(le::ReadS16(r + kAzimuth));
    const double pitch = static_cast<double>(le::ReadS16(r + kPitch));
    v.azimuth = static_cast<float>(azimuth * kAngleScaleNum / kAngleScaleDen);
    v.pitch = static_cast<float>(pitch * kAngleScaleNum / kAngleScaleDen + kPitchOffset);
    v.longitude = static_cast<double>(le::ReadS32(r + kLongitude)) * kDegreeScale;
    v.latitude = static_cast<double>(le::ReadS32(r + kLatitude)) * kDegreeScale;
    v.height = static_cast<double>(le::ReadS32(r + kHeight)) * kHeightScale;
    return v;
}
