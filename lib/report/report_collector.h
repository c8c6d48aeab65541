#pragma once
// Gathers what the report page shows while the recording reader runs: it
// hooks the reader's observers into a timeline and a thumbnail sampler.

#include <array>
#include <future>
#include <string>
#include <utility>

#include "lib/reading/recording_reader.h"
#include "lib/report/link_timeline.h"
#include "lib/report/thumbnail_sampler.h"

constexpr size_t kThumbnailsShown = 8;
constexpr int kThumbnailWidth = 152;
constexpr int kThumbnailHeight = 86;

// The page's facts, beyond the bins and the pictures.
struct ReportFacts : LinkStatistics {
    std::string fileName;
    std::string version;
    uint64_t records = 0;
    std::string pictureSize;  // "1920x1080", several joined, or empty
};

class ReportCollector {
public:
    explicit ReportCollector(uint64_t recordingBytes, size_t bins = kDefaultTimelineBins);

    // Sets the hooks the report needs and turns decoding on; what else the
    // read keeps is the caller's choice (the page itself needs no lists).
    // The collector must outlive the read.
    void Attach(ReadOptions& options);
    // Before the read: how many pictures it will show (CountPictures), so
    // that the thumbnails stand at equal intervals.
    void PlanPictures(uint64_t pictures) { thumbnails_.Plan(pictures, kThumbnailsShown); }
    // The same count still being made beside the read (CountPicturesBeside):
    // the read takes it once it is done, and waits for it only before a
    // picture that the thumbnails could no longer sort as if it had come
    // first. Call AwaitPlan after the read.
    void PlanPictures(std::future<uint64_t> pictures);
    void AwaitPlan() { TakePlan(true); }
    // After the read: the counts the page's header shows.
    ReportFacts Facts(const std::string& path, const RecordingReport& report, const std::string& version) const;

    const LinkTimeline& Timeline() const { return timeline_; }
    const ThumbnailSampler& Thumbnails() const { return thumbnails_; }

private:
    LinkTimeline timeline_;
    ThumbnailSampler thumbnails_;
    double SecondsOfPicture(int64_t tag) const;
    void TakePlan(bool wait);

    std::future<uint64_t> pendingPlan_;

    uint64_t pictures_ = 0;
    // Link seconds when each recent picture's packet went to the decoder, by tag.
    std::array<std::pair<int64_t, double>, 64> packetSeconds_{};
};

