#include "lib/export/export_session.h"

#include <utility>

#include "lib/export/export_status.h"
#include "lib/export/stream_probe.h"
#include "lib/export/telemetry_caption.h"

namespace {

// A picture is shown at most this many access units after its own (the
// largest picture buffer H.265 allows, twice over); an older access unit
// still waiting belongs to a picture the decoder turned down.
constexpr size_t kReorderWindow = 2 * DecodeClock::kMaxDelay;

int64_t Micros(int64_t index, double fps) {
    return static_cast<int64_t>(static_cast<double>(index) * (1e6 / fps) + 0.5);
}

}  // namespace

ExportSession::ExportSession(const SessionSettings& settings, std::vector<std::unique_ptr<ExportSink>> sinks,
                             FailureReport failed)
    : settings_(settings),
      sinks_(std::move(sinks)),
      failed_(std::move(failed)),
      splitter_([this](AccessUnit&& unit) { TakeUnit(std::move(unit)); }),
      phase_(settings.range.from.kind == RangeEnd::kOpen ? Phase::kInside : Phase::kBefore) {}

void ExportSession::TakeUnit(AccessUnit&& unit) {
    if (!unit.hasPicture) return;  // parameter sets are kept by the splitter
    PendingUnit pending;
    pending.running = timeline_.Decoded(unit.pocKnown, unit.poc, unit.idr);
    latestUnitTag_ = unit.tag;
    pending.order = nextOrder_++;
    pending.unit = std::move(unit);
    decoded_.push_back(std::move(pending));
    Pump(false);
}

void ExportSession::Shown(int64_t tag, int width, int height, const TelemetryRecord& record) {
    shown_.push_back({tag, ++counts_.shown, width, height, record});
    Pump(false);
}

void ExportSession::Pump(bool finishing) {
    while (!shown_.empty() && ExportNextShown()) {
    }
    WriteDecodedUnits(finishing);
}

// False while the next shown picture's access unit has not been completed yet.
bool ExportSession::ExportNextShown() {
    const ShownPicture& next = shown_.front();
    for (PendingUnit& pending : decoded_) {
        if (pending.unit.tag == next.tag && pending.index < 0) {
            PlacePicture(next, pending);
            shown_.pop_front();
            return true;
        }
    }
    // Access units come in tag order: one with this tag or later has passed.
    if (latestUnitTag_ < next.tag) return false;
    if (phase_ != Phase::kAfter) ++counts_.unmatched;  // past the range, units are not kept
    shown_.pop_front();
    return true;
}

// Every shown picture takes its place on the whole recording's timeline, so
// that a range's times and numbers are those of a whole export.
void ExportSession::PlacePicture(const ShownPicture& shown, PendingUnit& unit) {
    const int64_t index = timeline_.Shown(unit.running);
    counts_.lastShownOffsetMicros = Micros(index, settings_.fps);
    const int place = settings_.range.Compare(shown.number, counts_.lastShownOffsetMicros);
    if (place == 0 && phase_ != Phase::kAfter) {
        unit.index = index;
        if (phase_ == Phase::kBefore) {
            phase_ = Phase::kInside;
            if (unit.unit.key) {
                cutOrder_ = unit.order;
                origin_ = index;
            }
            counts_.leadIn = index - origin_;
        }
        if (unit.order > lastNeeded_) lastNeeded_ = unit.order;
        ExportPicture(shown, unit, counts_.lastShownOffsetMicros);
        return;
    }
    if (place < 0) {
        // Decoding may start at a key picture; none shown before it is needed.
        unit.index = index;
        if (unit.unit.key) {
            cutOrder_ = unit.order;
            origin_ = index;
        }
        return;
    }
    // Past the range, a picture still goes to the video when a picture of
    // the range comes after it in decode order: it may refer to it.
    phase_ = Phase::kAfter;
    if (unit.order < lastNeeded_) unit.index = index;
}

void ExportSession::ExportPicture(const ShownPicture& shown, const PendingUnit& unit, int64_t offsetMicros) {
    if (!started_) StartSinks(shown);
    ExportedPicture picture;
    picture.number = shown.number;
    picture.index = unit.index - origin_;
    picture.offsetMicros = Micros(picture.index, settings_.fps);
    picture.timeMicros = settings_.startMicros + offsetMicros;
    picture.durationMicros = static_cast<int64_t>(1e6 / settings_.fps + 0.5);
    picture.width = shown.width;
    picture.height = shown.height;
    picture.values = DecodeTelemetry(shown.record);
    picture.caption = TelemetryCaption(picture);
    ForEachSink([&picture](ExportSink& sink, std::string& error) { return sink.AddPicture(picture, error); });
    if (counts_.exported == 0) counts_.firstNumber = shown.number;
    counts_.lastNumber = shown.number;
    ++counts_.exported;
    counts_.lastIndex = picture.index;
    if (onExported) onExported(counts_.exported);
}

// The first picture decides the streams' size; the parameter sets are the
// latest the splitter has seen, those the decoder used for it.
void ExportSession::StartSinks(const ShownPicture& first) {
    started_ = true;
    VideoStreamInfo info;
    info.width = first.width;
    info.height = first.height;
    info.parameterSets = splitter_.ParameterSets();
    info.reorderDelay = ProbeReorderDelay(info.parameterSets);
    clock_ = std::make_unique<DecodeClock>(info.reorderDelay);
    ForEachSink([&info](ExportSink& sink, std::string& error) { return sink.Start(info, error); });
}

// Before the range nothing is written: the units from the latest key picture
// on wait for the range's first picture.
void ExportSession::WriteDecodedUnits(bool finishing) {
    while (!decoded_.empty()) {
        PendingUnit& head = decoded_.front();
        const bool passed = head.order < cutOrder_ || (phase_ == Phase::kAfter && head.order > lastNeeded_);
        if (phase_ == Phase::kBefore && !passed) {
            if (!finishing) return;
        } else if (!passed) {
            if (head.index >= 0) {
                // A picture shown before the key picture is a leading one of
                // it: it refers to pictures before the cut.
                if (head.index >= origin_) WriteVideo(head);
            } else if (finishing || decoded_.size() > kReorderWindow) {
                ++counts_.unshownUnits;
            } else {
                return;
            }
        }
        decoded_.pop_front();
    }
}

// The first access unit written carries the parameter sets, whichever unit
// brought them to the decoder.
void ExportSession::WriteVideo(PendingUnit& pending) {
    int64_t dts = 0;
    const int64_t pts = pending.index - origin_;
    if (!clock_->Next(pts, dts)) {
        ++counts_.unplaced;
        return;
    }
    std::vector<uint8_t>& bytes = pending.unit.bytes;
    if (firstVideo_ && !pending.unit.hasParameterSets) {
        const std::vector<uint8_t> sets = splitter_.ParameterSets();
        bytes.insert(bytes.begin(), sets.begin(), sets.end());
    }
    firstVideo_ = false;
    const bool key = pending.unit.key;
    ForEachSink([&bytes, pts, dts, key](ExportSink& sink, std::string& error) {
        return sink.AddVideo(bytes, pts, dts, key, error);
    });
}

int ExportSession::Finish() {
    splitter_.Finish();
    Pump(true);
    if (phase_ != Phase::kAfter) counts_.unmatched += static_cast<int64_t>(shown_.size());
    shown_.clear();
    if (counts_.exported == 0) {
        for (auto& sink : sinks_) sink->Abandon();
        sinks_.clear();
        return worst_ != 0 ? worst_ : export_status::kNoPicture;
    }
    ForEachSink([](ExportSink& sink, std::string& error) { return sink.Finish(error); });
    sinks_.clear();
    return worst_;
}

// A sink that fails is reported once, abandoned and dropped.
template <typename Call>
void ExportSession::ForEachSink(Call call) {
    for (auto it = sinks_.begin(); it != sinks_.end();) {
        std::string error;
        const int status = call(**it, error);
        if (status == export_status::kOk) {
            ++it;
            continue;
        }
        if (failed_) failed_(**it, status, error);
        if (status > worst_) worst_ = status;
        (*it)->Abandon();
        it = sinks_.erase(it);
    }
}
