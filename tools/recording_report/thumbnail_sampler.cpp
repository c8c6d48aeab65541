#include "tools/recording_report/thumbnail_sampler.h"

#include <algorithm>

extern "C" {
#include <libswscale/swscale.h>
}

ThumbnailSampler::ThumbnailSampler(size_t capacity, int boxWidth, int boxHeight)
    : capacity_(std::max<size_t>(capacity, 2)), boxWidth_(boxWidth), boxHeight_(boxHeight) {
    kept_.reserve(capacity_);
}

ThumbnailSampler::~ThumbnailSampler() { sws_freeContext(sws_); }

void ThumbnailSampler::Offer(uint64_t picture, double seconds, const uint8_t* rgb, int width, int height) {
    if (picture == 0 || !Wanted(picture)) return;
    if (kept_.size() == capacity_) {
        Thin();
        if (!Wanted(picture)) return;
    }
    Thumbnail t{picture, seconds, 0, 0, {}};
    if (Scale(rgb, width, height, t)) kept_.push_back(std::move(t));
}

// Kept pictures are 1, 1 + stride, 1 + 2 stride, ...: those at even places
// are exactly the pictures of the doubled stride.
void ThumbnailSampler::Thin() {
    size_t out = 0;
    for (size_t i = 0; i < kept_.size(); ++i) {
        if ((kept_[i].picture - 1) % (stride_ * 2) != 0) continue;
        // Never a move onto itself: that would empty the first picture.
        if (out != i) kept_[out] = std::move(kept_[i]);
        ++out;
    }
    kept_.resize(out);
    stride_ *= 2;
}

bool ThumbnailSampler::Scale(const uint8_t* rgb, int width, int height, Thumbnail& out) {
    if (rgb == nullptr || width <= 0 || height <= 0) return false;
    const double fit = std::min(static_cast<double>(boxWidth_) / width, static_cast<double>(boxHeight_) / height);
    out.width = std::max(1, static_cast<int>(width * fit + 0.5));
    out.height = std::max(1, static_cast<int>(height * fit + 0.5));
    sws_ = sws_getCachedContext(sws_, width, height, AV_PIX_FMT_RGB24, out.width, out.height, AV_PIX_FMT_BGRA,
                                SWS_AREA, nullptr, nullptr, nullptr);
    if (sws_ == nullptr) return false;
    out.pixels.assign(static_cast<size_t>(out.width) * out.height * 4, 0);
    const uint8_t* src[4] = {rgb, nullptr, nullptr, nullptr};
    const int srcStride[4] = {width * 3, 0, 0, 0};
    uint8_t* dst[4] = {out.pixels.data(), nullptr, nullptr, nullptr};
    const int dstStride[4] = {out.width * 4, 0, 0, 0};
    return sws_scale(sws_, src, srcStride, 0, height, dst, dstStride) == out.height;
}

std::vector<const Thumbnail*> ThumbnailSampler::Spread(size_t count) const {
    std::vector<const Thumbnail*> picked;
    const size_t n = kept_.size();
    if (n == 0 || count == 0) return picked;
    if (n <= count) {
        for (const Thumbnail& t : kept_) picked.push_back(&t);
        return picked;
    }
    for (size_t i = 0; i < count; ++i) {
        const size_t at = count == 1 ? 0 : (i * (n - 1) + (count - 1) / 2) / (count - 1);
        picked.push_back(&kept_[at]);
    }
    return picked;
}
