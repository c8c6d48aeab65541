#pragma once
// What the link did, gathered into the columns of a strip under the seek
// bar, so that a bad stretch is seen at a glance: each column covers an
// equal stretch of the recording's time and tells the worst it holds.

#include <cstdint>
#include <set>
#include <vector>

#include "lib/view/picture_index.h"

struct StripColumn {
    uint32_t lostFrames = 0;
    uint32_t invalidFrames = 0;
    uint32_t sequenceBreaks = 0;
    uint32_t damagedPictures = 0;  // the decoder complained, or built on a loss
    bool Clean() const { return lostFrames + invalidFrames + sequenceBreaks + damagedPictures == 0; }
};

// The number of the picture whose access unit the recording offset falls in
// (its first, before them all), for placing the link's marks in time.
int64_t NumberAtOffset(const PictureIndex& index, uint64_t offset);

// `columns` columns over the time from the first picture to the last.
// `damaged` holds the numbers of pictures found damaged while decoding.
std::vector<StripColumn> LinkStrip(const PictureIndex& index, const std::set<int64_t>& damaged, int columns);
// The column the picture falls in.
int ColumnOf(const PictureIndex& index, int64_t number, int columns);
