#include "tests/support/deep_colour_encoder.h"

#include <cstring>

#include "tests/support/encoded_pictures.h"
#include "lib/making/pattern_encoder.h"

bool EncodeSolidPicturesAs(const std::string& pixelFormat, int width, int height,
                           const std::vector<std::array<uint8_t, 3>>& colours,
                           std::vector<uint8_t>& es, std::string& error) {
    PatternOptions o;
    o.width = width;
    o.height = height;
    o.frames = static_cast<int>(colours.size());
    o.pixelFormat = pixelFormat;
    return EncodePictures(
        o,
        [&colours](int index, int w, int h, uint8_t* rgb) {
            const uint8_t* c = colours[static_cast<size_t>(index)].data();
            for (size_t p = 0; p < static_cast<size_t>(w) * h; ++p) std::memcpy(rgb + p * 3, c, 3);
        },
        es, error);
}
