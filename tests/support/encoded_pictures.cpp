#include "tests/support/encoded_pictures.h"

#include <cstring>

bool EncodeSolidPictures(int width, int height, const std::vector<std::array<uint8_t, 3>>& rgbPerPicture,
                         std::vector<uint8_t>& es, std::string& error) {
    PatternOptions o;
    o.width = width;
    o.height = height;
    o.frames = static_cast<int>(rgbPerPicture.size());
    return EncodePictures(
        o,
        [&rgbPerPicture](int index, int w, int h, uint8_t* rgb) {
            const std::array<uint8_t, 3>& c = rgbPerPicture[static_cast<size_t>(index)];
            for (size_t p = 0; p < static_cast<size_t>(w) * h; ++p) std::memcpy(rgb + p * 3, c.data(), 3);
        },
        es, error);
}

bool EncodeRgbPictures(int width, int height, const std::vector<std::vector<uint8_t>>& pictures,
                       std::vector<uint8_t>& es, std::string& error) {
    const size_t bytes = static_cast<size_t>(width) * height * 3;
    for (const std::vector<uint8_t>& p : pictures) {
        if (p.size() != bytes) {
            error = "an RGB picture is not width * height * 3 bytes";
            return false;
        }
    }
    PatternOptions o;
    o.width = width;
    o.height = height;
    o.frames = static_cast<int>(pictures.size());
    return EncodePictures(
        o,
        [&pictures, bytes](int index, int, int, uint8_t* rgb) {
            std::memcpy(rgb, pictures[static_cast<size_t>(index)].data(), bytes);
        },
        es, error);
}
