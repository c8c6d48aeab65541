#pragma once
// Recordings whose pictures say which they are twice: picture k (from 1,
// in the order shown) is flat grey in each half, the left half's level
// telling (k - 1) / 16 and the right half's (k - 1) % 16, and its telemetry
// record gives k as the height and a place on a straight track east. A
// viewer that shows picture n must show the greys of the picture its
// record names.

#include <cstdint>
#include <vector>

#include "lib/making/link_framer.h"
#include "lib/view/picture_index.h"

extern "C" {
struct AVFrame;
}

struct ViewRecordingOptions {
    int pictures = 40;  // 256 at most
    int keyint = 10;
    int bframes = 0;
    bool openGop = true;
    int slices = 1;
    Impairments impairments;
    int resizeAt = 0;  // from this picture on (from 1, a key picture), half the size
};

constexpr int kViewWidth = 256;
constexpr int kViewHeight = 128;

std::vector<uint8_t> MakeViewRecording(const ViewRecordingOptions& options);
// The index of a recording read whole, complete.
PictureIndex IndexOf(const std::vector<uint8_t>& recording);
// The track's place of picture k.
double ViewLatitude(int k);
double ViewLongitude(int k);
// The picture whose halves show these greys (full range, as RGB shows them).
int PictureFromGreys(double left, double right);
// The picture a decoded frame shows, from its luma.
int PictureShown(const AVFrame& frame);
