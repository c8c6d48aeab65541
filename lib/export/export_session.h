#pragma once
// Matches what the player shows with the access units it decoded them from
// and hands both to the outputs: pictures in show order, access units in
// decode order, each access unit only once its picture has been shown.

#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "core/demux/access_units.h"
#include "core/format/telemetry_record.h"
#include "core/session/decode_clock.h"
#include "core/session/picture_timeline.h"
#include "lib/export/export_sink.h"
#include "lib/export/picture_range.h"

// With a range, the video starts at the key picture shown last at or before
// the range's first picture, so that every decoder can start there, and its
// timeline's 0 is that key picture; it holds what decoding the range's
// pictures needs, up to a few pictures past its end with B-frames. The
// per-picture outputs hold the range's pictures only. Times of day (UTC)
// stay those of the whole recording.
struct SessionSettings {
    double fps = 25;
    int64_t startMicros = 0;
    PictureRange range;
};

struct SessionCounts {
    int64_t shown = 0;        // pictures the player showed
    int64_t exported = 0;     // pictures handed to the outputs
    int64_t lastIndex = -1;   // the last exported picture's place in the exported timeline
    int64_t lastShownOffsetMicros = -1;  // the last shown picture's time from the first one
    int64_t firstNumber = 0;  // the first and last exported pictures' numbers
    int64_t lastNumber = 0;
    int64_t leadIn = 0;       // picture intervals of video before the first exported picture
    int64_t unshownUnits = 0; // access units of pictures the player did not show
    int64_t unmatched = 0;    // pictures whose access unit was not found
    int64_t unplaced = 0;     // access units left out for want of a decode time
};

class ExportSession {
public:
    // `failed(sink, status, message)` is called once for a sink that fails;
    // the sink is abandoned and the others go on.
    using FailureReport = std::function<void(const ExportSink& sink, int status, const std::string& message)>;

    ExportSession(const SessionSettings& settings, std::vector<std::unique_ptr<ExportSink>> sinks,
                  FailureReport failed);

    void Packet(const uint8_t* data, int32_t size, int64_t tag) { splitter_.Packet(data, size, tag); }
    void Shown(int64_t tag, int width, int height, const TelemetryRecord& record);
    // After the read: the last access units, then every output completed.
    // Returns the worst status of the outputs.
    int Finish();

    const SessionCounts& Counts() const { return counts_; }
    std::function<void(int64_t exported)> onExported;

private:
    struct PendingUnit {
        AccessUnit unit;
        int64_t running = PictureTimeline::kUnknown;
        int64_t index = -1;  // set once its picture is placed, on the whole recording's timeline
        int64_t order = 0;   // place in decode order
    };
    // Where the shown pictures stand against the range.
    enum class Phase { kBefore, kInside, kAfter };
    struct ShownPicture {
        int64_t tag;
        int64_t number;
        int width;
        int height;
        TelemetryRecord record;
    };

    void TakeUnit(AccessUnit&& unit);
    void Pump(bool finishing);
    bool ExportNextShown();
    void PlacePicture(const ShownPicture& shown, PendingUnit& unit);
    void ExportPicture(const ShownPicture& shown, const PendingUnit& unit, int64_t offsetMicros);
    bool Wanted(const PendingUnit& pending) const;
    void WriteDecodedUnits(bool finishing);
    void WriteVideo(PendingUnit& pending);
    void StartSinks(const ShownPicture& first);
    template <typename Call>
    void ForEachSink(Call call);

    SessionSettings settings_;
    std::vector<std::unique_ptr<ExportSink>> sinks_;
    FailureReport failed_;
    AccessUnitSplitter splitter_;
    PictureTimeline timeline_;
    std::unique_ptr<DecodeClock> clock_;
    std::deque<PendingUnit> decoded_;
    std::deque<ShownPicture> shown_;
    int64_t latestUnitTag_ = 0;
    int64_t nextOrder_ = 0;
    Phase phase_;
    // The key picture the video starts at (its decode order, its index: the
    // exported timeline's 0), and the last access unit the range needs.
    int64_t cutOrder_ = -1;
    int64_t origin_ = 0;
    int64_t lastNeeded_ = -1;
    bool started_ = false;
    bool firstVideo_ = true;
    int worst_ = 0;
    SessionCounts counts_;
};
