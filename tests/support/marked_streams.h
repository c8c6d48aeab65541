#pragma once
// Recordings whose pictures say which they are: each picture's telemetry
// record carries a marker that comes back as the height in its console line
// ("H:<marker>"), so a test can tell which pictures were shown. Built with
// the recording tools' library, the way the sending side builds them.

#include <cstddef>
#include <cstdint>
#include <vector>

#include "core/format/telemetry_record.h"
#include "lib/making/link_framer.h"

using Bytes = std::vector<uint8_t>;

// The moving test pattern at the given size, an IDR picture with its
// parameter sets every `keyint` pictures; throws when the encoder fails.
Bytes EncodeScenes(int width, int height, int count, int keyint = 1);

TelemetryRecord MarkedRecord(int marker);

// The scenes with a telemetry unit before each picture; markers count up
// from `firstMarker`.
Bytes MarkedPictures(int width, int height, int count, int firstMarker, int keyint = 1);

// Byte offsets at which each picture's access unit (parameter sets,
// telemetry unit, slice) begins.
std::vector<size_t> PictureStarts(const Bytes& stream);

// Closes a stream so that the player's splitter lets its last picture through.
Bytes Closed(Bytes stream);

// 480 stream bytes to a link frame, numbered from 1.
Bytes Framed(const Bytes& stream, const Impairments& impairments = {});

void Append(Bytes& to, const Bytes& more);
