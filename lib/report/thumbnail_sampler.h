#pragma once
// Small pictures at even intervals over a recording: every `stride`-th
// picture is kept; when the store is full every other one is let go and the
// stride doubles, so at most `capacity` are ever held.
//
// Of a recording of unknown length the kept pictures then number from half
// the capacity to all of it, and half the capacity shown of them can be
// spaced only to within one stride: intervals of one and two strides
// alternate. Told early how many pictures to expect, the sampler keeps
// capacity - 1 of them from the start, so that the shown ones are every
// other kept picture: equal intervals, the last within one stride of the
// end as long as the guess is good to a few per cent.

#include <cstddef>
#include <cstdint>
#include <vector>

#include "core/present/shown_picture.h"

extern "C" {
struct SwsContext;
}

struct Thumbnail {
    uint64_t picture;  // from 1, in the order the player shows them
    double seconds;    // link time when it was shown
    int width, height;
    std::vector<uint8_t> pixels;  // cairo's ARGB32: B, G, R, A bytes, width * 4 a row
};

class ThumbnailSampler {
public:
    ThumbnailSampler(size_t capacity, int boxWidth, int boxHeight);
    ~ThumbnailSampler();
    ThumbnailSampler(const ThumbnailSampler&) = delete;
    ThumbnailSampler& operator=(const ThumbnailSampler&) = delete;

    // Whether Offer may keep picture `picture`: the pixels of any other are
    // never looked at.
    bool MayKeep(uint64_t picture) const { return picture != 0 && Wanted(picture); }
    // The box each kept picture is scaled to fit.
    PictureBox Box() const { return {boxWidth_, boxHeight_}; }
    // Picture `picture` (from 1), RGB24; scaled only when it is kept.
    void Offer(uint64_t picture, double seconds, const uint8_t* rgb, int width, int height);
    // About how many pictures the recording holds, once that can be told
    // (before a tenth of them has been offered, for the first to count).
    // Only ever widens the stride.
    void Expect(uint64_t pictures);
    const std::vector<Thumbnail>& Kept() const { return kept_; }
    uint64_t Stride() const { return stride_; }
    // `count` of the kept pictures, those nearest to even intervals from the
    // first picture offered to the last, in order.
    std::vector<const Thumbnail*> Spread(size_t count) const;

private:
    bool Wanted(uint64_t picture) const { return (picture - 1) % stride_ == 0; }
    void Thin();
    size_t Nearest(double target) const;
    bool EqualSteps(size_t count, std::vector<const Thumbnail*>& picked) const;
    bool Scale(const uint8_t* rgb, int width, int height, Thumbnail& out);

    size_t capacity_;
    int boxWidth_, boxHeight_;
    uint64_t stride_ = 1;
    uint64_t last_ = 0;  // the last picture offered
    std::vector<Thumbnail> kept_;
    SwsContext* sws_ = nullptr;
};
