#pragma once
// The OpenCV window a program shows its pictures in.

#include <cstdint>
#include <string>

class PictureWindow {
public:
    // Shows packed RGB pixels in the window titled `title`, opening it at
    // the picture's size the first time and whenever the size changes. A
    // window that cannot be shown says why on standard error, once, and
    // false is returned: the caller goes on without it.
    bool Show(const std::string& title, const uint8_t* pixels, int32_t rows, int32_t columns);

private:
    // Size the window was last fitted to; a new size fits it again.
    int32_t rows_ = 0;
    int32_t columns_ = 0;
};
