#pragma once
// The stretch of a recording an export takes out (--from, --to): each end a
// picture number, counted from 1 in the order the player shows pictures, or
// a time from the first picture on the export's timeline. Both ends are
// included.

#include <cstdint>
#include <string>

struct RangeEnd {
    enum Kind { kOpen, kPicture, kTime };
    Kind kind = kOpen;
    int64_t value = 0;  // the picture number, or microseconds from the first picture
};

// "120" (a picture number from 1), or a time: "4.8s", "1:23.5", "0:01:23.5"
// (minutes and seconds below 60 after the first field, up to six decimals).
// False for anything else.
bool ParseRangeEnd(const std::string& text, RangeEnd& end);

// "picture 120" or "4.8 s" / "1:23.500", as the messages name an end.
std::string DescribeRangeEnd(const RangeEnd& end);

struct PictureRange {
    RangeEnd from;
    RangeEnd to;

    bool Whole() const { return from.kind == RangeEnd::kOpen && to.kind == RangeEnd::kOpen; }
    // Both ends of one kind with the end before the start: no picture can be
    // in it. Ends of different kinds are only found empty once read.
    bool Reversed() const { return from.kind == to.kind && from.kind != RangeEnd::kOpen && to.value < from.value; }
    // Whether a picture, by its number and its time from the first picture,
    // is before, inside or after the range.
    int Compare(int64_t number, int64_t offsetMicros) const;
};
