#pragma once
// Link payloads in, units, records and packets out: the stream's side of the
// path, run on its owner's fields. Beside what the splitter
// (unit_splitter.h) and the decoder's side (decode_steps.h) name, the owner
// has onNal, onTelemetry and CaptureTelemetry(unit, length), and a first
// start code is announced by `announceFirstUnit` on standard output. An
// owner with a PictureTrust `trust` has each unit shown to it.

#include <cstdint>
#include <cstdio>
#include <type_traits>
#include <utility>

#include "core/decode/decode_steps.h"
#include "core/demux/unit_splitter.h"
#include "core/format/nal_unit.h"

namespace payload_steps {

template <typename O, typename = void>
struct WatchesTrust : std::false_type {};
template <typename O>
struct WatchesTrust<O, std::void_t<decltype(std::declval<O&>().trust)>> : std::true_type {};

// Everything before the end unit reaches the decoder, which then gives out
// every picture it still holds. The next stream starts a fresh access unit.
template <typename O>
void EndOfStream(O& o) {
    o.assembly.EndOfStream(o.telemetry);
    decode_steps::DrainDecoder(o);
}

// Telemetry is taken out first; every other unit goes on towards the
// decoder. An end unit drains the decoder once its header byte has arrived,
// so that the last pictures of a stream are not left inside it.
template <typename O>
void HandleUnit(O& o, const uint8_t* unit, int32_t length) {
    const int following = unit_splitter::FollowingHeaderByte(o, unit, length);
    if (o.onNal) o.onNal(unit, length);
    // Before routing: a picture may come out of the decoder within it.
    if constexpr (WatchesTrust<O>::value) o.trust.UnitCompleted(unit, length, o.assembly.PicturesStarted());
    if (o.CaptureTelemetry(unit, length)) {
        if (o.onTelemetry) o.onTelemetry(o.telemetry);
        o.assembly.TelemetryCame();
    } else if (decode_steps::DecoderReady(o)) {
        o.assembly.Route(unit, length, following, o.telemetry);
    }
    if (decode_steps::DecoderReady(o) && following >= 0 && nal_unit::IsEndType(nal_unit::TypeOf(following))) {
        EndOfStream(o);
    }
}

// Splits one payload; `limit` is the largest unit the owner's nalBuf takes.
template <typename O>
void Split(O& o, const uint8_t* data, int32_t length, int32_t limit) {
    struct Hooks {
        O& owner;
        void FirstStartCode(uint8_t headerByte) { std::printf("aabbccdd:%d,\n", static_cast<int>(headerByte)); }
        bool WantsSliceHeaderByte() const { return owner.assembly.Holding(); }
        // A held first slice learns here whether this unit continues its picture.
        void SliceHeaderByte(const uint8_t* unit, int32_t size) {
            owner.assembly.SettleHeldSlice(nal_unit::ContinuesPicture(unit, size), owner.telemetry);
        }
        void Unit(const uint8_t* unit, int32_t size) { owner.HandleNal(unit, size); }
    } hooks{o};
    unit_splitter::Split(o, data, length, limit, hooks);
}

}  // namespace payload_steps
