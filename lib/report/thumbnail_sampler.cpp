#include "lib/report/thumbnail_sampler.h"

#include <algorithm>

extern "C" {
#include <libswscale/swscale.h>
}

namespace {
// An HEVC decoder holds back at most this many pictures for reordering, and
// keeps them when no end unit drains it: a read may show that many fewer
// than a count of the stream's pictures.
constexpr uint64_t kMostHeldBack = 16;
}  // namespace

ThumbnailSampler::ThumbnailSampler(size_t capacity, int boxWidth, int boxHeight)
    : capacity_(std::max<size_t>(capacity, 2)), boxWidth_(boxWidth), boxHeight_(boxHeight) {
    kept_.reserve(capacity_);
}

ThumbnailSampler::~ThumbnailSampler() { sws_freeContext(sws_); }

void ThumbnailSampler::Offer(uint64_t picture, double seconds, const uint8_t* rgb, int width, int height) {
    if (picture == 0) return;
    last_ = std::max(last_, picture);
    if (awaiting_) {
        Thumbnail t{picture, seconds, 0, 0, {}};
        if (early_.size() < kMostBeforePlan && Scale(rgb, width, height, t)) early_.push_back(std::move(t));
        return;
    }
    const bool onPlan = OnPlan(picture);
    const bool onGrid = Wanted(picture) && MakeRoom(picture);
    if (!onPlan && !onGrid) return;
    Thumbnail t{picture, seconds, 0, 0, {}};
    if (Scale(rgb, width, height, t)) Keep(std::move(t), onPlan, onGrid);
}

void ThumbnailSampler::Keep(Thumbnail&& t, bool onPlan, bool onGrid) {
    if (onPlan) planned_.push_back(t);
    if (onGrid) kept_.push_back(std::move(t));
}

// A full store is thinned first; the picture may then be off the wider grid.
bool ThumbnailSampler::MakeRoom(uint64_t picture) {
    if (kept_.size() == capacity_) Thin();
    return Wanted(picture);
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
    if (out.width == width && out.height == height) {
        // Already scaled by the decoder (PayloadDecoderOptions::smallPictureBox):
        // only the bytes are reordered, with no swscale context to set up.
        out.pixels.resize(static_cast<size_t>(width) * height * 4);
        uint8_t* to = out.pixels.data();
        for (const uint8_t* from = rgb; to != out.pixels.data() + out.pixels.size(); from += 3, to += 4) {
            to[0] = from[2];
            to[1] = from[1];
            to[2] = from[0];
            to[3] = 0xFF;
        }
        return true;
    }
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

void ThumbnailSampler::Plan(uint64_t pictures, size_t shown) {
    planPictures_ = pictures;
    planCount_ = shown;
    planned_.clear();
    SizeGrid(pictures);
    // Those held for the plan go where they would have gone had it been known.
    awaiting_ = false;
    for (Thumbnail& t : early_) {
        const bool onPlan = OnPlan(t.picture);
        const bool onGrid = Wanted(t.picture) && MakeRoom(t.picture);
        if (onPlan || onGrid) Keep(std::move(t), onPlan, onGrid);
    }
    early_.clear();
}

uint64_t ThumbnailSampler::FewestPlanned() const {
    return planPictures_ > kMostHeldBack ? planPictures_ - kMostHeldBack : 1;
}

// Rounded down, so that the last one is a picture the read shows.
uint64_t ThumbnailSampler::StepFor(uint64_t pictures) const {
    const uint64_t shown = std::min<uint64_t>(planCount_, pictures);
    return shown > 1 ? (pictures - 1) / (shown - 1) : 1;
}

bool ThumbnailSampler::ShownOf(uint64_t picture, uint64_t pictures) const {
    const uint64_t step = StepFor(pictures);
    return (picture - 1) % step == 0 && (picture - 1) / step < std::min<uint64_t>(planCount_, pictures);
}

// The steps of neighbouring counts are mostly the same: the pictures of all
// the counts planned for are a few more than one count's.
bool ThumbnailSampler::OnPlan(uint64_t picture) const {
    if (planPictures_ == 0) return false;
    for (uint64_t n = FewestPlanned(); n <= planPictures_; ++n) {
        if (ShownOf(picture, n)) return true;
    }
    return false;
}

// The planned pictures for the count the read showed, if it was planned for.
bool ThumbnailSampler::PlannedPicks(size_t count, std::vector<const Thumbnail*>& picked) const {
    if (planPictures_ == 0 || count != planCount_ || last_ < FewestPlanned() || last_ > planPictures_) return false;
    for (const Thumbnail& t : planned_) {
        if (ShownOf(t.picture, last_)) picked.push_back(&t);
    }
    if (picked.size() == std::min<uint64_t>(count, last_)) return true;
    picked.clear();  // a picture that could not be scaled
    return false;
}

void ThumbnailSampler::SizeGrid(uint64_t pictures) {
    // At most capacity - 1.5 strides from the first picture to the last,
    // rounded up: the grid then never outgrows the store, which would halve
    // it, and where every other kept picture is shown it reaches within a
    // stride of a read that shows a few pictures fewer than counted.
    const uint64_t halfSpans = 2 * capacity_ - 3;
    const uint64_t planned = pictures > 1 ? (2 * (pictures - 1) + halfSpans - 1) / halfSpans : 1;
    if (planned <= stride_) return;
    stride_ = planned;
    kept_.erase(std::remove_if(kept_.begin(), kept_.end(), [this](const Thumbnail& t) { return !Wanted(t.picture); }),
                kept_.end());
}

// The kept picture nearest to `target`, the earlier of two as near.
size_t ThumbnailSampler::Nearest(double target) const {
    const auto after = std::lower_bound(kept_.begin(), kept_.end(), target,
                                        [](const Thumbnail& t, double v) { return static_cast<double>(t.picture) < v; });
    size_t at = static_cast<size_t>(after - kept_.begin());
    if (at == kept_.size() || (at > 0 && target - static_cast<double>(kept_[at - 1].picture) <=
                                             static_cast<double>(kept_[at].picture) - target)) {
        --at;
    }
    return at;
}

// Every m-th kept picture from the first, when the last of them is within
// one stride of the last picture offered: then the intervals are equal,
// not only near even places.
bool ThumbnailSampler::EqualSteps(size_t count, std::vector<const Thumbnail*>& picked) const {
    if (count < 2) return false;
    const uint64_t intervals = count - 1;
    const uint64_t covered = (last_ - 1) / stride_;  // whole strides up to the last picture
    uint64_t m = (covered + intervals / 2) / intervals;
    if (m == 0) m = 1;
    const uint64_t end = 1 + m * intervals * stride_;
    const uint64_t off = end > last_ ? end - last_ : last_ - end;
    if (m * intervals >= kept_.size() || off > stride_) return false;
    for (uint64_t i = 0; i <= intervals; ++i) {
        const Thumbnail& t = kept_[i * m];
        if (t.picture != 1 + i * m * stride_) {
            picked.clear();
            return false;
        }
        picked.push_back(&t);
    }
    return true;
}

std::vector<const Thumbnail*> ThumbnailSampler::Spread(size_t count) const {
    std::vector<const Thumbnail*> picked;
    if (PlannedPicks(count, picked)) return picked;
    const size_t n = kept_.size();
    if (n == 0 || count == 0) return picked;
    if (n <= count) {
        for (const Thumbnail& t : kept_) picked.push_back(&t);
        return picked;
    }
    if (EqualSteps(count, picked)) return picked;
    // The targets are even over the pictures offered, not over the kept
    // ones, which may stop short of the last picture by up to a stride.
    const double first = static_cast<double>(kept_.front().picture);
    const double span = static_cast<double>(last_) - first;
    size_t previous = 0;
    for (size_t i = 0; i < count; ++i) {
        const double target = count == 1 ? first : first + span * static_cast<double>(i) / (count - 1);
        // Distinct and in order, with room left for the pictures still to pick.
        const size_t lowest = i == 0 ? 0 : previous + 1;
        const size_t at = std::min(std::max(Nearest(target), lowest), n - count + i);
        picked.push_back(&kept_[at]);
        previous = at;
    }
    return picked;
}
