#pragma once
// Real H.265 pictures for the robustness tests, encoded in process with
// libavcodec's libx265 encoder: small synthetic scenes that cost little to
// encode and to carry, at whatever size a test asks for.

#include <cstdint>
#include <vector>

using Bytes = std::vector<uint8_t>;

struct PictureRequest {
    int width = 64;
    int height = 64;
    int count = 1;
    // Every this many pictures an IDR picture with its parameter sets; 1 makes
    // every picture decodable on its own.
    int intraPeriod = 1;
    // Constant quantiser: higher is smaller and faster to encode.
    int quantiser = 36;
};

// One access unit per picture, Annex-B with every start code in the 4-byte
// form 00 00 00 01 that the link's sending side writes.
std::vector<Bytes> EncodePictures(const PictureRequest& request);
