#include "bench/whole_path/stage_costs.h"

#include <algorithm>
#include <chrono>
#include <opencv2/core.hpp>
#include <opencv2/highgui.hpp>
#include <opencv2/imgproc.hpp>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libswscale/swscale.h>
}

#include "bench/whole_path/player_path.h"
#include "pipeline/decode_data.h"

namespace {

using Clock = std::chrono::steady_clock;

double MillisecondsSince(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

// The units the splitter hands on, each with the zero padding the decoder
// may read past its end; telemetry units are left out, as the player
// never sends them to the decoder.
std::vector<std::vector<uint8_t>> VideoUnits(const std::vector<uint8_t>& recording) {
    std::vector<std::vector<uint8_t>> units;
    DecodeData splitter;
    splitter.AllocateBuffers();
    splitter.Present(Presentation::Headless());
    splitter.onNal = [&](const uint8_t* unit, int32_t length) {
        std::vector<uint8_t> copy(unit, unit + length);
        copy.resize(copy.size() + AV_INPUT_BUFFER_PADDING_SIZE, 0);
        units.push_back(std::move(copy));
    };
    // Called right after onNal for the same unit, once it is known to be one.
    splitter.onTelemetry = [&](const TelemetryRecord&) { units.pop_back(); };
    FeedUnpaced(splitter, recording);
    return units;
}

// Opened as DecodeData::OpenDecoder opens it.
AVCodecContext* OpenPlayerLikeDecoder() {
    const AVCodec* codec = avcodec_find_decoder(AV_CODEC_ID_HEVC);
    if (codec == nullptr) return nullptr;
    AVCodecContext* context = avcodec_alloc_context3(codec);
    if (context == nullptr) return nullptr;
    context->lowres = codec->max_lowres;
    context->flags2 |= AV_CODEC_FLAG2_FAST;
    if (avcodec_open2(context, codec, nullptr) < 0) avcodec_free_context(&context);
    return context;
}

class PictureStages {
public:
    PictureStages(bool withDisplay, StageCosts& costs) : withDisplay_(withDisplay), costs_(costs) {}
    ~PictureStages() { sws_freeContext(sws_); }

    void Present(const AVFrame* frame) {
        ++costs_.pictures;
        Convert(frame);
        const cv::Mat rgb(frame->height, frame->width, CV_8UC3, rgb_.data(), 0);
        cv::Mat bgr;
        auto start = Clock::now();
        cv::cvtColor(rgb, bgr, cv::COLOR_RGB2BGR, 0);
        costs_.colourSwapMs += MillisecondsSince(start);
        if (withDisplay_) Display(bgr);
    }

private:
    void Convert(const AVFrame* frame) {
        if (sws_ == nullptr) {
            sws_ = sws_getContext(frame->width, frame->height, static_cast<AVPixelFormat>(frame->format),
                                  frame->width, frame->height, AV_PIX_FMT_RGB24, SWS_BICUBIC, nullptr,
                                  nullptr, nullptr);
            rgb_.assign(static_cast<size_t>(frame->width) * frame->height * 3, 0);
        }
        uint8_t* planes[4] = {rgb_.data(), nullptr, nullptr, nullptr};
        int strides[4] = {frame->width * 3, 0, 0, 0};
        const auto start = Clock::now();
        sws_scale(sws_, frame->data, frame->linesize, 0, frame->height, planes, strides);
        costs_.conversionMs += MillisecondsSince(start);
    }

    void Display(const cv::Mat& bgr) {
        const auto start = Clock::now();
        cv::namedWindow("RGB Image", cv::WINDOW_NORMAL);
        if (costs_.displayedPictures == 0) cv::resizeWindow("RGB Image", bgr.cols, bgr.rows);
        cv::imshow("RGB Image", bgr);
        cv::waitKey(2);
        costs_.displayMs += MillisecondsSince(start);
        ++costs_.displayedPictures;
    }

    bool withDisplay_;
    StageCosts& costs_;
    SwsContext* sws_ = nullptr;
    std::vector<uint8_t> rgb_;
};

void PerPicture(StageCosts& costs) {
    const double pictures = static_cast<double>(std::max(costs.pictures, 1L));
    costs.decodeMs /= pictures;
    costs.conversionMs /= pictures;
    costs.colourSwapMs /= pictures;
    if (costs.displayedPictures > 0) costs.displayMs /= static_cast<double>(costs.displayedPictures);
}

}  // namespace

StageCosts MeasureStageCosts(const std::vector<uint8_t>& recording, bool withDisplay) {
    StageCosts costs;
    const auto units = VideoUnits(recording);
    AVCodecContext* decoder = OpenPlayerLikeDecoder();
    AVPacket* packet = av_packet_alloc();
    AVFrame* frame = av_frame_alloc();
    if (decoder == nullptr || packet == nullptr || frame == nullptr) return costs;
    {
        PictureStages stages(withDisplay, costs);
        for (const auto& unit : units) {
            packet->data = const_cast<uint8_t*>(unit.data());
            packet->size = static_cast<int>(unit.size() - AV_INPUT_BUFFER_PADDING_SIZE);
            auto start = Clock::now();
            const int sent = avcodec_send_packet(decoder, packet);
            costs.decodeMs += MillisecondsSince(start);
            if (sent != 0) continue;
            for (;;) {
                start = Clock::now();
                const int received = avcodec_receive_frame(decoder, frame);
                costs.decodeMs += MillisecondsSince(start);
                if (received < 0) break;
                stages.Present(frame);
            }
        }
    }
    if (withDisplay) cv::destroyAllWindows();
    packet->data = nullptr;
    packet->size = 0;
    av_packet_free(&packet);
    av_frame_free(&frame);
    avcodec_free_context(&decoder);
    PerPicture(costs);
    return costs;
}
