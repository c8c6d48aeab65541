#pragma once
// H.265 encoding of synthetic pictures through libavcodec's libx265 encoder.
// Every stream these functions return is Annex-B with the 4-byte start code
// 00 00 00 01 before every unit, as the sending side writes it, and the
// parameter sets repeated at every key picture. By default it has no B-frames
// (pictures come out of the decoder in the order their units go in) and one
// slice per picture.

#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

struct PatternOptions {
    int width = 1920;
    int height = 1080;
    int frames = 250;
    int fps = 25;
    int bitrateKbps = 0;  // 0: the encoder's default constant-quality mode
    int keyint = 25;
    int slices = 1;   // slices per picture, each a band of whole rows
    int bframes = 0;  // B-frames between reference pictures
    std::string pixelFormat = "yuv420p";  // an FFmpeg name, such as "yuv420p10le"
    // Open GOP (libx265's default): key pictures after the first are CRA
    // pictures whose leading B-frames refer back across them.
    bool openGop = true;
    bool accessUnitDelimiters = false;  // an AUD unit opening every picture
    // Called after each picture is encoded, for progress reports; may be empty.
    std::function<void(int encoded, int total)> progress;
};

// Fills `rgb` (width * height * 3 bytes, packed R G B rows) with picture `index`.
using PictureDrawer = std::function<void(int index, int width, int height, uint8_t* rgb)>;

// Encodes options.frames pictures drawn by `draw`; the general form of the
// functions below. `streamOrder`, when given, receives the index of each
// picture in the order the encoder wrote it to the stream: with B-frames
// that is not the order they were drawn (and are shown) in.
bool EncodePictures(const PatternOptions& options, const PictureDrawer& draw, std::vector<uint8_t>& es,
                    std::string& error, std::vector<int>* streamOrder = nullptr);

// Moving colour bars with the picture number written large in the middle,
// so that a person sees at once whether pictures are missing or stuck.
bool EncodeTestPattern(const PatternOptions& options, std::vector<uint8_t>& es, std::string& error);

// A mid-grey picture with a distinct solid colour in each corner block
// (top-left red, top-right green, bottom-left blue, bottom-right white), each
// block `block` pixels square: crop and orientation tests look for them.
std::vector<uint8_t> CornerMarkedPicture(int width, int height, int block);

// The pattern EncodeTestPattern draws, for callers that want to compare pixels.
void DrawTestPattern(int index, int width, int height, uint8_t* rgb);
