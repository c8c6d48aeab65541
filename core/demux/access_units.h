#pragma once
// Regroups the packets the player's decoder is given into access units, with
// FFmpeg's own HEVC parser, and tells which picture (tag) each one carries.

#include <cstdint>
#include <deque>
#include <functional>
#include <vector>

#include "core/demux/hevc_parser.h"


struct AccessUnit {
    std::vector<uint8_t> bytes;  // Annex-B, filler units taken out
    int64_t tag = 0;             // the player's tag of its picture; 0 for none
    bool hasPicture = false;     // holds a first slice
    bool key = false;            // a random-access picture: decoding may start here
    bool idr = false;            // its picture order count starts again at 0
    bool hasParameterSets = false;
    bool pocKnown = false;
    int poc = 0;  // picture order count, as the parser read it
};

class AccessUnitSplitter {
public:
    using Sink = std::function<void(AccessUnit&&)>;

    explicit AccessUnitSplitter(Sink sink);
    AccessUnitSplitter(const AccessUnitSplitter&) = delete;
    AccessUnitSplitter& operator=(const AccessUnitSplitter&) = delete;

    bool Ready() const { return parser_.IsOpen(); }
    // One packet as the decoder was given it, with the tag it carried.
    void Packet(const uint8_t* data, int32_t size, int64_t tag);
    // Gives out the access unit the parser still holds.
    void Finish();
    // The latest VPS, SPS and PPS seen, in Annex-B form, in that order.
    std::vector<uint8_t> ParameterSets() const;

private:
    void Emit(const HevcParser::Unit& unit);
    void Remember(const uint8_t* unit, size_t size);

    Sink sink_;
    HevcParser parser_;
    // Tags of the first slices fed to the parser and not yet given out.
    std::deque<int64_t> firstSliceTags_;
    std::vector<uint8_t> parameterSets_[3];
};
