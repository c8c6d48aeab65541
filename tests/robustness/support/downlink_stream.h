#pragma once
// Builds downlink recordings the way the sending side does: telemetry units
// in SEI syntax before each picture, the elementary stream cut into 512-byte
// link frames. Each picture's record carries a marker that comes back as the
// height in its console line ("H:<marker>"), so a test can tell which
// pictures were shown.

#include <cstddef>
#include <cstdint>
#include <vector>

#include "tests/robustness/support/hevc_pictures.h"

// 00 00 00 01 06 05, the size bytes of a 782-byte payload, the record with
// emulation-prevention bytes, and a stop bit. `keptPayload` below 782 cuts the
// unit short after that many record bytes.
Bytes TelemetryUnit(int32_t marker, size_t keptPayload = 782);

// Two access unit delimiters: the splitter hands a unit on only when the next
// start code has arrived, so a stream ends with these to let its last picture
// through.
Bytes StreamEnd();

// Pictures with a telemetry unit before each; markers count up from
// `firstMarker`.
Bytes PicturesWithTelemetry(const std::vector<Bytes>& pictures, int32_t firstMarker);

struct LinkFraming {
    uint16_t firstSequence = 1;
    int payloadPerFrame = 480;
};

// The stream cut into link frames; the last one carries what is left.
Bytes LinkFrames(const Bytes& stream, const LinkFraming& framing = {});

void Append(Bytes& to, const Bytes& more);
