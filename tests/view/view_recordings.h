#pragma once
// Recordings whose pictures say which they are twice: picture k (from 1,
// in the order shown) is a flat grey whose level tells k, and its telemetry
// record gives k as the height. A viewer that shows picture n must show
// the grey of the picture its record names.

#include <cstdint>
#include <vector>

#include "lib/making/link_framer.h"

extern "C" {
struct AVFrame;
}

struct ViewRecordingOptions {
    int pictures = 40;
    int keyint = 10;
    int bframes = 0;
    bool openGop = true;
    int slices = 1;
    Impairments impairments;
};

std::vector<uint8_t> MakeViewRecording(const ViewRecordingOptions& options);
// The picture a decoded frame shows, from its grey level.
int PictureShown(const AVFrame& frame);
