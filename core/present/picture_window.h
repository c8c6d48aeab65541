#pragma once
// The OpenCV window a program shows its pictures in.

#include <cstdint>
#include <string>

namespace cv {
class Mat;
}

// Where a window opens, in screen pixels: X11's WIDTHxHEIGHT+X+Y.
struct WindowPlace {
    int32_t width = 0;
    int32_t height = 0;
    int32_t x = 0;
    int32_t y = 0;
    bool Set() const { return width > 0 && height > 0; }
};

class PictureWindow {
public:
    // Opens the window at `place` instead of at the picture's size; the
    // picture is then scaled to the window. Before the first Show.
    void Place(const WindowPlace& place) { place_ = place; }
    // Each Show serves the window's events for a moment (OpenCV's waitKey),
    // which a program whose main thread runs Qt's event loop does not need:
    // there it only holds up the caller.
    void LeaveEventsToTheEventLoop() { servesEvents_ = false; }

    // Shows packed RGB pixels in the window titled `title`, opening it at
    // the picture's size the first time and whenever the size changes. A
    // window that cannot be shown says why on standard error, once, and
    // false is returned: the caller goes on without it.
    bool Show(const std::string& title, const uint8_t* pixels, int32_t rows, int32_t columns);
    // The same for a picture already in OpenCV's BGR order.
    bool ShowBgr(const std::string& title, const cv::Mat& bgr);

private:
    void Fit(const std::string& title, int32_t rows, int32_t columns);

    // Size the window was last fitted to; a new size fits it again.
    int32_t rows_ = 0;
    int32_t columns_ = 0;
    WindowPlace place_;
    bool servesEvents_ = true;
};
