#include "lib/view/picture_index.h"

#include <algorithm>
#include <cmath>

void PictureIndex::Add(const IndexedPicture& picture) {
    const uint32_t place = static_cast<uint32_t>(pictures_.size());
    pictures_.push_back(picture);
    number_.push_back(0);
    // A picture is shown after every one already there whose count is not
    // above its own; reordering puts it at most a few places back.
    size_t at = shown_.size();
    while (at > 0 && pictures_[shown_[at - 1]].running > picture.running) --at;
    shown_.insert(shown_.begin() + static_cast<std::ptrdiff_t>(at), place);
    for (size_t i = at; i < shown_.size(); ++i) number_[shown_[i]] = static_cast<uint32_t>(i);
}

int32_t PictureIndex::AddParameterSets(const std::vector<uint8_t>& sets) {
    if (parameterSets_.empty() || parameterSets_.back() != sets) parameterSets_.push_back(sets);
    return static_cast<int32_t>(parameterSets_.size()) - 1;
}

const IndexedPicture& PictureIndex::Picture(int64_t number) const { return pictures_[DecodeIndexOf(number)]; }

int64_t PictureIndex::NumberOfTag(int64_t tag) const {
    const auto it = std::lower_bound(pictures_.begin(), pictures_.end(), tag,
                                     [](const IndexedPicture& p, int64_t t) { return p.tag < t; });
    if (it == pictures_.end() || it->tag != tag) return 0;
    return static_cast<int64_t>(number_[static_cast<size_t>(it - pictures_.begin())]) + 1;
}

double PictureIndex::TimeOf(int64_t number) const {
    if (pictures_.empty()) return 0;
    return static_cast<double>(Picture(number).running - Picture(1).running) / kPicturesPerSecond;
}

int64_t PictureIndex::NumberAtTime(double seconds) const {
    if (pictures_.empty()) return 0;
    const double origin = static_cast<double>(Picture(1).running);
    const double wanted = origin + std::max(0.0, seconds) * kPicturesPerSecond - 1e-6;
    const auto it = std::lower_bound(shown_.begin(), shown_.end(), wanted, [this](uint32_t place, double w) {
        return static_cast<double>(pictures_[place].running) < w;
    });
    const int64_t number = static_cast<int64_t>(it - shown_.begin()) + 1;
    return std::min<int64_t>(number, static_cast<int64_t>(shown_.size()));
}

int64_t PictureIndex::KeyFor(int64_t number) const {
    const size_t target = DecodeIndexOf(number);
    const int64_t running = pictures_[target].running;
    for (size_t i = target + 1; i-- > 0;) {
        const IndexedPicture& p = pictures_[i];
        if (p.key && p.running <= running) return static_cast<int64_t>(number_[i]) + 1;
    }
    return 0;
}
