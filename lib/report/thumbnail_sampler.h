#pragma once
// Small pictures at even intervals over a recording.
//
// Told before the first picture how many the read will show (Plan), the
// sampler keeps the pictures to show: 1, 1 + step, 1 + 2 step, ... at equal
// intervals, the last fewer than `shown` pictures before the end. It keeps
// them for the counts up to 16 fewer as well, since a decoder given no end
// unit holds back its last reordered pictures (at most 16): a few more
// pictures, as neighbouring counts share their steps.
//
// The count may also come late, while it is still being made beside the
// read (ExpectPlan): until then every picture offered is held, at most
// kMostBeforePlan of them, and a plan told before more are offered picks
// exactly the pictures it would have picked told before the first.
//
// Besides those, and alone when the count is unknown (a pipe) or the read
// shows another, every `stride`-th picture is kept; when that store is full
// every other one is let go and the stride doubles, so at most `capacity`
// are ever held. Of a recording of unknown length those number from half
// the capacity to all of it, and half the capacity shown of them can be
// spaced only to within one stride: intervals of one and two strides
// alternate.

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
    bool MayKeep(uint64_t picture) const {
        return picture != 0 && (awaiting_ || OnPlan(picture) || Wanted(picture));
    }
    // The box each kept picture is scaled to fit.
    PictureBox Box() const { return {boxWidth_, boxHeight_}; }
    // Picture `picture` (from 1), RGB24; scaled only when it is kept.
    void Offer(uint64_t picture, double seconds, const uint8_t* rgb, int width, int height);
    // The read will show `pictures` pictures, or up to 16 fewer, of which
    // Spread(shown) is to pick: before the first is offered, or after
    // ExpectPlan, at the latest when PlanDue. 0 pictures: no plan.
    void Plan(uint64_t pictures, size_t shown);
    static constexpr size_t kMostBeforePlan = 32;
    // A plan is on its way: hold every picture offered until it comes.
    void ExpectPlan() { awaiting_ = true; }
    // The plan is needed before the next picture is offered: no room is left to hold it.
    bool PlanDue() const { return awaiting_ && early_.size() >= kMostBeforePlan; }
    // The grid's pictures, without the planned ones.
    const std::vector<Thumbnail>& Kept() const { return kept_; }
    // All the pictures held, planned ones too: bounded, however long the read.
    size_t Held() const { return kept_.size() + planned_.size() + early_.size(); }
    uint64_t Stride() const { return stride_; }
    // `count` pictures in order: the planned ones when the plan held (a
    // count of pictures offered planned for, `count` as planned); otherwise
    // those kept nearest to even intervals from the first picture offered
    // to the last.
    std::vector<const Thumbnail*> Spread(size_t count) const;

private:
    bool Wanted(uint64_t picture) const { return (picture - 1) % stride_ == 0; }
    bool OnPlan(uint64_t picture) const;
    uint64_t FewestPlanned() const;
    uint64_t StepFor(uint64_t pictures) const;
    bool ShownOf(uint64_t picture, uint64_t pictures) const;
    bool PlannedPicks(size_t count, std::vector<const Thumbnail*>& picked) const;
    void SizeGrid(uint64_t pictures);
    bool MakeRoom(uint64_t picture);
    void Keep(Thumbnail&& t, bool onPlan, bool onGrid);
    void Thin();
    size_t Nearest(double target) const;
    bool EqualSteps(size_t count, std::vector<const Thumbnail*>& picked) const;
    bool Scale(const uint8_t* rgb, int width, int height, Thumbnail& out);

    size_t capacity_;
    int boxWidth_, boxHeight_;
    uint64_t stride_ = 1;
    uint64_t last_ = 0;  // the last picture offered
    std::vector<Thumbnail> kept_;
    // The plan: `planCount_` pictures at equal intervals of `planPictures_`
    // (and of the counts a little below); none while planPictures_ is 0.
    uint64_t planPictures_ = 0;
    size_t planCount_ = 0;
    std::vector<Thumbnail> planned_;  // in the order offered
    // Offered after ExpectPlan and before Plan, which sorts them as if offered then.
    bool awaiting_ = false;
    std::vector<Thumbnail> early_;
    SwsContext* sws_ = nullptr;
};
