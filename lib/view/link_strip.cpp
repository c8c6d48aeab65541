#include "lib/view/link_strip.h"

#include <algorithm>

int64_t NumberAtOffset(const PictureIndex& index, uint64_t offset) {
    const std::vector<IndexedPicture>& pictures = index.DecodeOrder();
    const auto it = std::upper_bound(pictures.begin(), pictures.end(), offset,
                                     [](uint64_t o, const IndexedPicture& p) { return o < p.seekOffset; });
    if (it == pictures.begin()) return pictures.empty() ? 0 : index.NumberOfTag(pictures.front().tag);
    return index.NumberOfTag(std::prev(it)->tag);
}

int ColumnOf(const PictureIndex& index, int64_t number, int columns) {
    if (index.Empty() || columns <= 0) return 0;
    const double total = index.TimeOf(static_cast<int64_t>(index.Count()));
    if (total <= 0) return 0;
    const int column = static_cast<int>(index.TimeOf(number) / total * columns);
    return std::clamp(column, 0, columns - 1);
}

std::vector<StripColumn> LinkStrip(const PictureIndex& index, const std::set<int64_t>& damaged, int columns) {
    std::vector<StripColumn> strip(static_cast<size_t>(std::max(columns, 0)));
    if (strip.empty() || index.Empty()) return strip;
    for (const LinkMark& mark : index.Marks()) {
        StripColumn& column = strip[static_cast<size_t>(ColumnOf(index, NumberAtOffset(index, mark.offset), columns))];
        switch (mark.kind) {
            case LinkMark::Kind::kLostFrames: column.lostFrames += mark.count; break;
            case LinkMark::Kind::kInvalidFrame: column.invalidFrames += mark.count; break;
            case LinkMark::Kind::kSequenceBreak: column.sequenceBreaks += mark.count; break;
        }
    }
    for (int64_t number : damaged) {
        if (number >= 1 && number <= static_cast<int64_t>(index.Count()))
            ++strip[static_cast<size_t>(ColumnOf(index, number, columns))].damagedPictures;
    }
    return strip;
}
