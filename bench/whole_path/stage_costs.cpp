#include "bench/whole_path/stage_costs.h"

#include <algorithm>
#include <chrono>
#include <opencv2/core.hpp>
#include <opencv2/highgui.hpp>
#include <opencv2/imgproc.hpp>

extern "C" {
#include <libavcodec/avcodec.h>
}

#include "core/decode/rgb_conversion.h"
#include "core/decode/video_decoder.h"
#include "core/demux/link_frames.h"
#include "core/present/picture_window.h"
#include "core/session/payload_decoder.h"

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
    PayloadDecoderOptions splitOnly;
    splitOnly.decode = false;
    splitOnly.onNal = [&](const uint8_t* unit, int32_t length) {
        std::vector<uint8_t> copy(unit, unit + length);
        copy.resize(copy.size() + AV_INPUT_BUFFER_PADDING_SIZE, 0);
        units.push_back(std::move(copy));
    };
    // Called right after onNal for the same unit, once it is known to be one.
    splitOnly.onTelemetry = [&](const TelemetryRecord&) { units.pop_back(); };
    PayloadDecoder splitter(std::move(splitOnly));
    link_frames::Parser link;
    link.Feed(recording.data(), static_cast<int32_t>(recording.size()), [&](const link_frames::Frame& frame) {
        if (frame.valid) splitter.Split(frame.Payload(), static_cast<int32_t>(frame.payloadLength));
    });
    return units;
}

// The decoder's handles, opened as every program here opens them.
struct Decoder {
    Decoder() { video_decoder::Open(1, codec, context, packet, frame); }
    ~Decoder() { video_decoder::Free(context, packet, frame); }
    bool Ready() const { return context != nullptr && packet != nullptr && frame != nullptr; }
    const AVCodec* codec = nullptr;
    AVCodecContext* context = nullptr;
    AVPacket* packet = nullptr;
    AVFrame* frame = nullptr;
};

class PictureStages : public RgbConversionFields {
public:
    PictureStages(bool withDisplay, StageCosts& costs) : withDisplay_(withDisplay), costs_(costs) {}
    ~PictureStages() { rgb_conversion::Free(*this); }

    void Present(const AVFrame& picture) {
        ++costs_.pictures;
        if (rgb_conversion::Outdated(*this, picture)) rgb_conversion::Reconfigure(*this, picture);
        if (swsCtx == nullptr || rgbBuf == nullptr) return;
        auto start = Clock::now();
        rgb_conversion::Convert(*this, picture);
        costs_.conversionMs += MillisecondsSince(start);
        // The window's own first step, timed alone.
        const cv::Mat rgb(picture.height, picture.width, CV_8UC3, rgbBuf, 0);
        cv::Mat bgr;
        start = Clock::now();
        cv::cvtColor(rgb, bgr, cv::COLOR_RGB2BGR, 0);
        costs_.colourSwapMs += MillisecondsSince(start);
        if (withDisplay_) Display(picture);
    }

private:
    void Display(const AVFrame& picture) {
        const auto start = Clock::now();
        window_.Show("RGB Image", rgbBuf, picture.height, picture.width);
        costs_.displayMs += MillisecondsSince(start);
        ++costs_.displayedPictures;
    }

    bool withDisplay_;
    StageCosts& costs_;
    PictureWindow window_;
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
    Decoder decoder;
    if (!decoder.Ready()) return costs;
    {
        PictureStages stages(withDisplay, costs);
        for (const auto& unit : units) {
            auto start = Clock::now();
            const bool sent = video_decoder::Send(decoder.context, decoder.packet, unit.data(),
                                                  static_cast<int32_t>(unit.size() - AV_INPUT_BUFFER_PADDING_SIZE), 0);
            costs.decodeMs += MillisecondsSince(start);
            if (!sent) continue;
            for (;;) {
                start = Clock::now();
                const int received = avcodec_receive_frame(decoder.context, decoder.frame);
                costs.decodeMs += MillisecondsSince(start);
                if (received < 0) break;
                stages.Present(*decoder.frame);
            }
        }
    }
    if (withDisplay) cv::destroyAllWindows();
    PerPicture(costs);
    return costs;
}
