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
        return ShowBgr(title, bgr);
    } catch (const cv::Exception& e) {
        SayUnavailable(e.err.c_str());
    } catch (const std::exception& e) {
        SayUnavailable(e.what());
    }
    return false;
}

bool PictureWindow::ShowBgr(const std::string& title, const cv::Mat& bgr) {
    try {
        cv::namedWindow(title, cv::WINDOW_NORMAL);
        Fit(title, bgr.rows, bgr.cols);
        cv::imshow(title, bgr);
        if (servesEvents_) cv::waitKey(kWaitKeyMs);
        return true;
    } catch (const cv::Exception& e) {
        SayUnavailable(e.err.c_str());
    } catch (const std::exception& e) {
        SayUnavailable(e.what());
    }
    return false;
}

// A resizable window opens small and would scale the picture down; it
// starts at the picture's own size, or where it was placed, and the user
// may resize it.
void PictureWindow::Fit(const std::string& title, int32_t rows, int32_t columns) {
    if (rows == rows_ && columns == columns_) return;
    const bool opening = rows_ == 0 && columns_ == 0;
    rows_ = rows;
    columns_ = columns;
    if (!place_.Set()) {
        cv::resizeWindow(title, columns, rows);
    } else if (opening) {
        cv::resizeWindow(title, place_.width, place_.height);
        cv::moveWindow(title, place_.x, place_.y);
    }
}
