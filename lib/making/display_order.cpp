#include "lib/making/display_order.h"

#include <algorithm>
#include <numeric>
#include <tuple>

#include "core/demux/access_units.h"
#include "core/format/nal_unit.h"

std::vector<size_t> DisplayPlaces(const std::vector<uint8_t>& es) {
    struct Key {
        int64_t run;
        int poc;
    };
    std::vector<Key> keys;
    bool allKnown = true;
    int64_t run = -1;
    AccessUnitSplitter splitter([&](AccessUnit&& au) {
        if (!au.hasPicture) return;
        if (au.idr || run < 0) ++run;
        allKnown = allKnown && au.pocKnown;
        keys.push_back({run, au.poc});
    });
    nal_unit::ForEachUnit(es.data(), es.size(), [&splitter](const uint8_t* unit, size_t length) {
        splitter.Packet(unit, static_cast<int32_t>(length), 0);
    });
    splitter.Finish();

    std::vector<size_t> order(keys.size());
    std::iota(order.begin(), order.end(), size_t{0});
    if (allKnown) {
        std::stable_sort(order.begin(), order.end(), [&keys](size_t a, size_t b) {
            return std::tie(keys[a].run, keys[a].poc) < std::tie(keys[b].run, keys[b].poc);
        });
    }
    std::vector<size_t> places(keys.size());
    for (size_t shown = 0; shown < order.size(); ++shown) places[order[shown]] = shown;
    return places;
}

std::vector<TelemetryRecord> RecordsInCodingOrder(const std::vector<TelemetryRecord>& shown,
                                                  const std::vector<uint8_t>& es) {
    const std::vector<size_t> places = DisplayPlaces(es);
    // A parser that saw a different number of pictures than the caller
    // counted leaves the rows as they are.
    if (places.size() != shown.size()) return shown;
    std::vector<TelemetryRecord> coded(shown.size());
    for (size_t k = 0; k < places.size(); ++k) coded[k] = shown[places[k]];
    return coded;
}
