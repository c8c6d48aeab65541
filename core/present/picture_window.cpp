#include "core/present/picture_window.h"

#include <cstdio>
#include <exception>
#include <opencv2/core.hpp>
#include <opencv2/highgui.hpp>
#include <opencv2/imgproc.hpp>

namespace {

constexpr int kWaitKeyMs = 2;

void SayUnavailable(const char* reason) {
    std::fprintf(stderr, "downlink-player: window unavailable (%s); pictures are no longer shown\n", reason);
}

}  // namespace

bool PictureWindow::Show(const std::string& title, const uint8_t* pixels, int32_t rows, int32_t columns) {
    try {
        const cv::Mat rgb(rows, columns, CV_8UC3, const_cast<uint8_t*>(pixels), 0);
        cv::Mat bgr;
        cv::cvtColor(rgb, bgr, cv::COLOR_RGB2BGR, 0);
        cv::namedWindow(title, cv::WINDOW_NORMAL);
        // A resizable window opens small and would scale the picture down;
        // it starts at the picture's own size, and the user may resize it.
        if (rows != rows_ || columns != columns_) {
            cv::resizeWindow(title, columns, rows);
            rows_ = rows;
            columns_ = columns;
        }
        cv::imshow(title, bgr);
        cv::waitKey(kWaitKeyMs);
        return true;
    } catch (const cv::Exception& e) {
        SayUnavailable(e.err.c_str());
    } catch (const std::exception& e) {
        SayUnavailable(e.what());
    }
    return false;
}
