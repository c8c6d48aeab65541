#include "core/demux/annex_b.h"

#include <algorithm>
#include <cstdint>

#include "core/format/nal_unit.h"
#include "core/format/start_code.h"

namespace {

// Positions of the first byte after each 00 00 01 (of a 3- or 4-byte code).
std::vector<size_t> UnitBodyStarts(const uint8_t* data, size_t size) {
    std::vector<size_t> starts;
    nal_unit::ForEachAnyStartCodeBody(data, size, [&starts](size_t body) { starts.push_back(body); });
    return starts;
}

}  // namespace

std::vector<UnitSpan> FindUnits(const std::vector<uint8_t>& es) {
    std::vector<UnitSpan> units;
    nal_unit::ForEachUnit(es.data(), es.size(), [&units, &es](const uint8_t* unit, size_t size) {
        units.push_back({static_cast<size_t>(unit - es.data()), size});
    });
    return units;
}

std::vector<uint8_t> ToFourByteStartCodes(const uint8_t* data, size_t size) {
    std::vector<uint8_t> out;
    out.reserve(size + size / 64);
    const std::vector<size_t> starts = UnitBodyStarts(data, size);
    for (size_t u = 0; u < starts.size(); ++u) {
        size_t end = u + 1 < starts.size() ? starts[u + 1] - 3 : size;
        // Zeros before the next 00 00 01 are a 4-byte code's first byte or
        // trailing_zero_8bits, never the unit's own data.
        while (end > starts[u] && data[end - 1] == 0) --end;
        if (end == starts[u]) continue;
        start_code::Append(out);
        out.insert(out.end(), data + starts[u], data + end);
    }
    return out;
}

int UnitType(const uint8_t* unit) {
    return nal_unit::TypeOf(unit[nal_unit::kStartCodeSize]);
}

bool IsSliceUnit(const uint8_t* unit, size_t size) {
    return nal_unit::IsSlice(unit, static_cast<int32_t>(std::min<size_t>(size, INT32_MAX)));
}

bool StartsPicture(const uint8_t* unit, size_t size) {
    return nal_unit::OpensPicture(unit, static_cast<int32_t>(std::min<size_t>(size, INT32_MAX)));
}

size_t CountPictures(const std::vector<uint8_t>& es) {
    size_t pictures = 0;
    for (const UnitSpan& u : FindUnits(es)) {
        if (StartsPicture(es.data() + u.offset, u.size)) ++pictures;
    }
    return pictures;
}

const char* UnitTypeName(int type) {
    switch (type) {
        case 0: return "TRAIL_N";
        case 1: return "TRAIL_R";
        case 2: return "TSA_N";
        case 3: return "TSA_R";
        case 4: return "STSA_N";
        case 5: return "STSA_R";
        case 6: return "RADL_N";
        case 7: return "RADL_R";
        case 8: return "RASL_N";
        case 9: return "RASL_R";
        case 16: return "BLA_W_LP";
        case 17: return "BLA_W_RADL";
        case 18: return "BLA_N_LP";
        case 19: return "IDR_W_RADL";
        case 20: return "IDR_N_LP";
        case 21: return "CRA";
        case nal_unit::kVps: return "VPS";
        case nal_unit::kSps: return "SPS";
        case nal_unit::kPps: return "PPS";
        case nal_unit::kAccessUnitDelimiter: return "AUD";
        case nal_unit::kEndOfSequence: return "EOS";
        case nal_unit::kEndOfBitstream: return "EOB";
        case nal_unit::kFillerData: return "FD (filler)";
        case nal_unit::kPrefixSei: return "SEI prefix";
        case nal_unit::kSuffixSei: return "SEI suffix";
        default: return "other";
    }
}
