#pragma once
// Cost per picture of each stage after the splitter, measured one by one
// on the units of a real recording: the decoder (opened as the player opens
// it), the conversion to packed RGB, the colour swap for OpenCV, and the
// window under the running X server.

#include <cstdint>
#include <vector>

struct StageCosts {
    long pictures = 0;
    double decodeMs = 0;
    double conversionMs = 0;
    double colourSwapMs = 0;
    // The window's whole show (the colour swap again, drawing and the 2 ms
    // waitKey), over the pictures shown; 0 pictures when there is no display.
    long displayedPictures = 0;
    double displayMs = 0;
};

StageCosts MeasureStageCosts(const std::vector<uint8_t>& recording, bool withDisplay);
