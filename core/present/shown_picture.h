#pragma once

#include <cstdint>

#include "core/format/telemetry_record.h"

// A part of a picture, in pixels from its top left corner.
struct PictureArea {
    int32_t left;
    int32_t top;
    int32_t width;
    int32_t height;
};

// A box a small copy of each shown picture is fitted into; empty when either
// side is 0 (see PayloadDecoderOptions::smallPictureBox).
struct PictureBox {
    int32_t width = 0;
    int32_t height = 0;
    bool Empty() const { return width <= 0 || height <= 0; }
};

// A picture as the picture observer sees it: the RGB pixels shown (the crop,
// for channel 0; nullptr when nothing looks at them, see
// PayloadDecoderOptions::pixelsWanted), the record shown with it, and its tag, the
// number of the first slice that opened it, counted from 1 (0 when the
// decoder gave none). width and height are the shown picture's, with or
// without pixels.
struct ShownPicture {
    const uint8_t* rgb;
    int32_t width;
    int32_t height;
    const TelemetryRecord& record;
    int64_t tag;
    // The same shown picture scaled to fit the small picture box, RGB
    // as well (smallWidth * 3 bytes a row); nullptr unless that box is set
    // and the observer looks at the pixels.
    const uint8_t* smallRgb = nullptr;
    int32_t smallWidth = 0;
    int32_t smallHeight = 0;
    // False for a picture built on something lost: a missing reference the
    // decoder stood in for, or one that was itself damaged (see
    // PictureTrust). Programs that do not tell always say true.
    bool trusted = true;
};
