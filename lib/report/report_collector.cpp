#include "lib/report/report_collector.h"

#include <algorithm>
#include <chrono>
#include <functional>

#include "lib/cli/file_names.h"
#include "lib/reading/recording_summary.h"

ReportCollector::ReportCollector(uint64_t recordingBytes, size_t bins)
    : timeline_(recordingBytes, bins), thumbnails_(kThumbnailsShown * 2, kThumbnailWidth, kThumbnailHeight) {}

void ReportCollector::PlanPictures(std::future<uint64_t> pictures) {
    pendingPlan_ = std::move(pictures);
    thumbnails_.ExpectPlan();
}

void ReportCollector::TakePlan(bool wait) {
    if (!pendingPlan_.valid()) return;
    if (!wait && pendingPlan_.wait_for(std::chrono::seconds(0)) != std::future_status::ready) return;
    PlanPictures(pendingPlan_.get());
}

void ReportCollector::Attach(ReadOptions& options) {
    options.decode = true;
    options.onLinkFrame = [this](const LinkFrameEvent& frame) { timeline_.AddFrame(frame); };
    options.onUnit = [this](const uint8_t* unit, int32_t length) { timeline_.AddUnit(unit, length); };
    options.onRecord = [this](const TelemetryRecord& record) { timeline_.AddRecord(DecodeTelemetry(record)); };
    // Chain any picture observer the caller already set.
    std::function<void(const ShownPicture&)> outer = options.onPicture;
    std::function<bool()> outerWants = options.pixelsWanted;
    options.pixelsWanted = [this, outer, outerWants] {
        TakePlan(thumbnails_.PlanDue());
        return thumbnails_.MayKeep(pictures_ + 1) || (outer && (!outerWants || outerWants()));
    };
    std::function<void(const uint8_t*, int32_t, int64_t)> outerPacket = options.onPacket;
    options.onPacket = [this, outerPacket](const uint8_t* data, int32_t size, int64_t tag) {
        packetSeconds_[static_cast<uint64_t>(tag) % packetSeconds_.size()] = {tag, timeline_.CurrentSeconds()};
        if (outerPacket) outerPacket(data, size, tag);
    };
    // Alone, the report takes its thumbnails small from the decoder; a
    // chained observer may want the whole pictures.
    if (!outer) options.smallPictureBox = thumbnails_.Box();
    options.onPicture = [this, outer](const ShownPicture& picture) {
        const double seconds = SecondsOfPicture(picture.tag);
        TakePlan(thumbnails_.PlanDue());
        if (picture.smallRgb != nullptr) {
            thumbnails_.Offer(++pictures_, seconds, picture.smallRgb, picture.smallWidth, picture.smallHeight);
        } else {
            thumbnails_.Offer(++pictures_, seconds, picture.rgb, picture.width, picture.height);
        }
        if (outer) outer(picture);
    };
}

// A picture's moment is when its packet reached the decoder: with one
// decoding thread that is when it is shown, with several a few packets
// earlier, so the page does not depend on the threads.
double ReportCollector::SecondsOfPicture(int64_t tag) const {
    const auto& slot = packetSeconds_[static_cast<uint64_t>(tag) % packetSeconds_.size()];
    return slot.first == tag && tag > 0 ? slot.second : timeline_.CurrentSeconds();
}

ReportFacts ReportCollector::Facts(const std::string& path, const RecordingReport& report,
                                   const std::string& version) const {
    ReportFacts f;
    static_cast<LinkStatistics&>(f) = report;
    f.fileName = FileName(path);
    f.version = version;
    f.records = report.recordCount;
    f.pictureSize = DescribePictureSizes(report.pictureSizes);
    return f;
}
