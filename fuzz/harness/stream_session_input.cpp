// The stream session on arbitrary bytes: read whole, it must find the same
// units as the player's own pipeline; sought anywhere, it must read on from a
// key picture with the tags asked for (never going back), never placing
// anything past the end.

#include <memory>
#include <set>
#include <vector>

#include "core/session/stream_session.h"
#include "fuzz/harness/fuzz_inputs.h"
#include "fuzz/harness/invariant.h"
#include "lib/reading/recording_reader.h"

namespace {

struct Seen {
    std::vector<uint8_t> stream;
    uint64_t frames = 0;
    std::set<uint64_t> frameEnds;
    int64_t lastTag = 0;
    bool firstPicture = true;
};

SessionEvents Watch(Seen& seen, size_t size, bool sought, int64_t firstTag) {
    SessionEvents events;
    // Frames come in sequence order, so their places need not grow; each is
    // a whole frame inside the recording, and none comes twice.
    events.onLinkFrame = [&seen, size](const LinkFrameEvent& frame) {
        FUZZ_INVARIANT(frame.endOffset >= 512 && frame.endOffset <= size);
        FUZZ_INVARIANT(seen.frameEnds.insert(frame.endOffset).second);
        ++seen.frames;
    };
    events.onUnit = [&seen, size](const uint8_t* unit, int32_t length, uint64_t seekOffset) {
        FUZZ_INVARIANT(length > 0 && seekOffset <= size);
        seen.stream.insert(seen.stream.end(), unit, unit + length);
    };
    events.onAccessUnit = [&seen, size, sought, firstTag](const AccessUnit& au, uint64_t seekOffset) {
        FUZZ_INVARIANT(seekOffset <= size);
        FUZZ_INVARIANT(!au.idr || au.key);
        if (!au.hasPicture) return;
        if (seen.firstPicture && sought) FUZZ_INVARIANT(au.key && au.tag == firstTag);
        if (!seen.firstPicture) FUZZ_INVARIANT(au.tag >= seen.lastTag);  // as the export's: never back
        seen.firstPicture = false;
        seen.lastTag = au.tag;
    };
    return events;
}

}  // namespace

int RunStreamSessionInput(const uint8_t* data, size_t size) {
    if (size < 2) return 0;
    const size_t step = 1 + static_cast<size_t>(data[0]) * 67;
    const std::vector<uint8_t> recording(data + 2, data + size);

    Seen whole;
    StreamSession session(std::make_unique<MemoryByteSource>(recording.data(), recording.size()),
                          Watch(whole, recording.size(), false, 1));
    while (session.Step(step)) {
    }
    session.Finish();
    FUZZ_INVARIANT(!session.Failed() && session.Position() == recording.size());
    FUZZ_INVARIANT(session.Statistics().linkFrames == whole.frames);
    FUZZ_INVARIANT(whole.stream == ReadRecordingBytes(recording, ReadOptions{}).elementaryStream);

    const uint64_t at = recording.size() * data[1] / 256;
    Seen again;
    StreamSession sought(std::make_unique<MemoryByteSource>(recording.data(), recording.size()),
                         Watch(again, recording.size(), true, 7));
    FUZZ_INVARIANT(sought.Seek(at, 7, session.ParameterSets()));
    while (sought.Step(step)) {
    }
    sought.Finish();
    FUZZ_INVARIANT(sought.Position() == recording.size());
    return 0;
}
