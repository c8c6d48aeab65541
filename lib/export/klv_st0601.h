#pragma once
// MISB ST 0601 UAS Datalink Local Sets: the KLV metadata that motion-imagery
// tools read beside the video of an MPEG transport stream.

#include <cstdint>
#include <vector>

#include "lib/export/exported_picture.h"

// One Local Set for a picture, from the 16-byte key to the checksum.
std::vector<uint8_t> BuildUasLocalSet(const ExportedPicture& picture);
