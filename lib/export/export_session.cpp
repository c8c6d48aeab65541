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

}  // namespace

ExportSession::ExportSession(const SessionSettings& settings, std::vector<std::unique_ptr<ExportSink>> sinks,
                             FailureReport failed)
    : settings_(settings),
      sinks_(std::move(sinks)),
      failed_(std::move(failed)),
      splitter_([this](AccessUnit&& unit) { TakeUnit(std::move(unit)); }) {}

void ExportSession::TakeUnit(AccessUnit&& unit) {
    if (!unit.hasPicture) return;  // parameter sets are kept by the splitter
    PendingUnit pending;
    pending.running = timeline_.Decoded(unit.pocKnown, unit.poc, unit.idr);
    latestUnitTag_ = unit.tag;
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
            ExportPicture(next, pending);
            shown_.pop_front();
            return true;
        }
    }
    // Access units come in tag order: one with this tag or later has passed.
    if (latestUnitTag_ < next.tag) return false;
    ++counts_.unmatched;
    shown_.pop_front();
    return true;
}

void ExportSession::ExportPicture(const ShownPicture& shown, PendingUnit& unit) {
    if (!started_) StartSinks(shown);
    ExportedPicture picture;
    picture.number = shown.number;
    picture.index = timeline_.Shown(unit.running);
    const double interval = 1e6 / settings_.fps;
    picture.offsetMicros = static_cast<int64_t>(static_cast<double>(picture.index) * interval + 0.5);
    picture.timeMicros = settings_.startMicros + picture.offsetMicros;
    picture.durationMicros = static_cast<int64_t>(interval + 0.5);
    picture.width = shown.width;
    picture.height = shown.height;
    picture.values = DecodeTelemetry(shown.record);
    picture.caption = TelemetryCaption(picture);
    unit.index = picture.index;
    ForEachSink([&picture](ExportSink& sink, std::string& error) { return sink.AddPicture(picture, error); });
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

void ExportSession::WriteDecodedUnits(bool finishing) {
    while (!decoded_.empty()) {
        PendingUnit& head = decoded_.front();
        if (head.index >= 0) {
            WriteVideo(head);
        } else if (finishing || decoded_.size() > kReorderWindow) {
            ++counts_.unshownUnits;
        } else {
            return;
        }
        decoded_.pop_front();
    }
}

// The first access unit written carries the parameter sets, whichever unit
// brought them to the decoder.
void ExportSession::WriteVideo(PendingUnit& pending) {
    int64_t dts = 0;
    if (!clock_->Next(pending.index, dts)) {
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
    ForEachSink([&bytes, &pending, dts, key](ExportSink& sink, std::string& error) {
        return sink.AddVideo(bytes, pending.index, dts, key, error);
    });
}

int ExportSession::Finish() {
    splitter_.Finish();
    Pump(true);
    counts_.unmatched += static_cast<int64_t>(shown_.size());
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
