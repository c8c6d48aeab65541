#pragma once
// Small pictures at even intervals over a recording of unknown length: every
// `stride`-th picture is kept; when the store is full every other one is let
// go and the stride doubles, so at most `capacity` are ever held.

#include <cstddef>
#include <cstdint>
#include <vector>

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

    // Picture `picture` (from 1), RGB24; scaled only when it is kept.
    void Offer(uint64_t picture, double seconds, const uint8_t* rgb, int width, int height);
    const std::vector<Thumbnail>& Kept() const { return kept_; }
    uint64_t Stride() const { return stride_; }
    // `count` of the kept pictures, spread evenly from the first to the last.
    std::vector<const Thumbnail*> Spread(size_t count) const;

private:
    bool Wanted(uint64_t picture) const { return (picture - 1) % stride_ == 0; }
    void Thin();
    bool Scale(const uint8_t* rgb, int width, int height, Thumbnail& out);

    size_t capacity_;
    int boxWidth_, boxHeight_;
    uint64_t stride_ = 1;
    std::vector<Thumbnail> kept_;
    SwsContext* sws_ = nullptr;
};
