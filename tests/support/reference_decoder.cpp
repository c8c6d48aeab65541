#include "tests/support/reference_decoder.h"

#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>

namespace {

std::string TempPath() {
    char name[] = "/tmp/dlp-reference-XXXXXX";
    const int fd = mkstemp(name);
    if (fd < 0) return {};
    close(fd);
    return name;
}

}  // namespace

std::vector<std::vector<uint8_t>> DecodeWithFfmpeg(const std::vector<uint8_t>& es, int width, int height,
                                                   std::string& error) {
    std::vector<std::vector<uint8_t>> pictures;
    const std::string path = TempPath();
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(es.data()),
                                                static_cast<std::streamsize>(es.size()));
    // Pass-through timing: a raw stream has no timestamps to duplicate or
    // drop pictures by. One decoding thread, as the player decodes.
    const std::string command = "ffmpeg -nostdin -v error -threads 1 -f hevc -i " + path +
                                " -fps_mode passthrough -f rawvideo -pix_fmt rgb24 -";
    FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr) {
        error = "cannot run ffmpeg";
        std::remove(path.c_str());
        return pictures;
    }
    const size_t bytes = static_cast<size_t>(width) * height * 3;
    std::vector<uint8_t> picture(bytes);
    while (std::fread(picture.data(), 1, bytes, pipe) == bytes) pictures.push_back(picture);
    const int status = pclose(pipe);
    std::remove(path.c_str());
    if (status != 0 || pictures.empty()) error = "ffmpeg decoded nothing (status " + std::to_string(status) + ")";
    return pictures;
}

double WorstBandDifference(const uint8_t* a, const uint8_t* b, int width, int height, int bands) {
    double worst = 0;
    const size_t row = static_cast<size_t>(width) * 3;
    for (int band = 0; band < bands; ++band) {
        const int top = height * band / bands;
        const int bottom = height * (band + 1) / bands;
        double sum = 0;
        for (size_t i = top * row; i < bottom * row; ++i) sum += std::abs(int(a[i]) - int(b[i]));
        const size_t samples = std::max<size_t>(1, (bottom - top) * row);
        worst = std::max(worst, sum / static_cast<double>(samples));
    }
    return worst;
}
