// Shows each converted picture and prints its telemetry line.

#include <cstdio>
#include <cstring>
#include <iostream>
#include <opencv2/core.hpp>
#include <opencv2/highgui.hpp>
#include <opencv2/imgproc.hpp>

#include "pipeline/decode_data.h"
#include "pipeline/present/telemetry_line.h"

namespace {

constexpr int kWaitKeyMs = 2;

// Channel 0's cameras deliver 1920 x 1080, of which the centred 1280 x 1024
// window is shown.
constexpr int32_t kSourceWidth = 1920;
constexpr int32_t kSourceRowBytes = kSourceWidth * 3;
constexpr int32_t kCropWidth = 1280;
constexpr int32_t kCropHeight = 1024;
constexpr int32_t kCropLeft = (kSourceWidth - kCropWidth) / 2;  // 320
constexpr int32_t kCropTop = (1080 - kCropHeight) / 2;          // 28
constexpr int32_t kCropRowBytes = kCropWidth * 3;

// The crop reads rows kCropTop .. kCropTop + kCropHeight - 1 at the fixed
// 1920-pixel pitch; any other picture is shown whole.
bool CropFits(int32_t width, int32_t height) {
    return width == kSourceWidth && height >= kCropTop + kCropHeight;
}

}  // namespace

void DecodeData::CropChannel0(uint8_t* destination, const uint8_t* source) {
    const uint8_t* row = source + kCropTop * kSourceRowBytes + kCropLeft * 3;
    for (int32_t i = 0; i < kCropHeight; ++i) {
        std::memcpy(destination + i * kCropRowBytes, row + i * kSourceRowBytes, kCropRowBytes);
    }
}

// The part of a width x height picture that is shown.
PictureArea DecodeData::ShownArea(int32_t width, int32_t height) const {
    if (videoType == 0 && CropFits(width, height)) return {kCropLeft, kCropTop, kCropWidth, kCropHeight};
    return {0, 0, width, height};
}

int32_t DecodeData::ShowFrame(const uint8_t* picture, TelemetryRecord record) {
    frameCount = static_cast<int32_t>(static_cast<uint32_t>(frameCount) + 1u);
    const TelemetryValues values = DecodeTelemetry(record);

    // The shown size is the same whether or not the pixels were converted.
    const PictureArea area = ShownArea(picWidth, picHeight);
    const uint8_t* shown = picture;
    if (picture != nullptr && (area.width != picWidth || area.height != picHeight)) {
        CropChannel0(cropBuf, picture);
        shown = cropBuf;
    }
    if (linePrinted) WriteTelemetryLine(std::cout, frameCount, videoType, values);
    if (onPicture) {
        ShownPicture seen{shown, area.width, area.height, record, assembly.shownTag};
        if (smallPictureMade_) {
            seen.smallRgb = smallRgb_.data();
            seen.smallWidth = smallWidth_;
            seen.smallHeight = smallHeight_;
        }
        onPicture(seen);
    }
    smallPictureMade_ = false;
    if (windowEnabled && shown != nullptr) ShowInWindow(shown, area.height, area.width);
    return 0;
}

// A window that cannot be shown must not end the replay: the telemetry lines
// go on without it.
void DecodeData::ShowInWindow(const uint8_t* pixels, int32_t rows, int32_t columns) {
    try {
        const cv::Mat rgb(rows, columns, CV_8UC3, const_cast<uint8_t*>(pixels), 0);
        cv::Mat bgr;
        cv::cvtColor(rgb, bgr, cv::COLOR_RGB2BGR, 0);
        const std::string& name = windowTitle;
        cv::namedWindow(name, cv::WINDOW_NORMAL);
        // A resizable window opens small and would scale the picture down;
        // it starts at the picture's own size, and the user may resize it.
        if (rows != windowRows || columns != windowColumns) {
            cv::resizeWindow(name, columns, rows);
            windowRows = rows;
            windowColumns = columns;
        }
        cv::imshow(name, bgr);
        cv::waitKey(kWaitKeyMs);
    } catch (const cv::Exception& e) {
        windowEnabled = false;
        std::fprintf(stderr, "downlink-player: window unavailable (%s); pictures are no longer shown\n",
                     e.err.c_str());
    } catch (const std::exception& e) {
        windowEnabled = false;
        std::fprintf(stderr, "downlink-player: window unavailable (%s); pictures are no longer shown\n",
                     e.what());
    }
}
