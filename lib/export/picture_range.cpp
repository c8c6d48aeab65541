#include "lib/export/picture_range.h"

#include <cstdio>
#include <vector>

namespace {

constexpr int64_t kMicrosPerSecond = 1000000;
constexpr int kMaxFractionDigits = 6;  // the export's clock counts microseconds
// Far beyond any recording, and small enough that no sum below overflows.
constexpr int64_t kMaxField = 1000000000;

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// Digits only, at least one, below kMaxField.
bool Whole(const std::string& text, int64_t& value) {
    if (text.empty()) return false;
    value = 0;
    for (char c : text) {
        if (!IsDigit(c)) return false;
        value = value * 10 + (c - '0');
        if (value >= kMaxField) return false;
    }
    return true;
}

// "23" or "23.5": whole seconds and microseconds.
bool Seconds(const std::string& text, int64_t& micros) {
    const size_t dot = text.find('.');
    int64_t whole = 0;
    if (!Whole(text.substr(0, dot), whole)) return false;
    int64_t fraction = 0;
    if (dot != std::string::npos) {
        const std::string digits = text.substr(dot + 1);
        if (digits.empty() || digits.size() > kMaxFractionDigits) return false;
        if (!Whole(digits, fraction)) return false;
        for (size_t i = digits.size(); i < kMaxFractionDigits; ++i) fraction *= 10;
    }
    micros = whole * kMicrosPerSecond + fraction;
    return true;
}

bool Time(const std::string& text, int64_t& micros) {
    if (!text.empty() && text.back() == 's') return Seconds(text.substr(0, text.size() - 1), micros);
    std::vector<std::string> fields;
    size_t begin = 0;
    for (size_t colon = text.find(':'); colon != std::string::npos; colon = text.find(':', begin)) {
        fields.push_back(text.substr(begin, colon - begin));
        begin = colon + 1;
    }
    fields.push_back(text.substr(begin));
    if (fields.size() < 2 || fields.size() > 3) return false;
    int64_t total = 0;
    for (size_t i = 0; i + 1 < fields.size(); ++i) {
        int64_t value = 0;
        if (!Whole(fields[i], value) || (i > 0 && value >= 60)) return false;
        total = total * 60 + value;
    }
    int64_t seconds = 0;
    if (!Seconds(fields.back(), seconds) || seconds >= 60 * kMicrosPerSecond) return false;
    micros = total * 60 * kMicrosPerSecond + seconds;
    return true;
}

}  // namespace

bool ParseRangeEnd(const std::string& text, RangeEnd& end) {
    int64_t value = 0;
    if (Whole(text, value)) {
        if (value < 1) return false;
        end = {RangeEnd::kPicture, value};
        return true;
    }
    if (!Time(text, value)) return false;
    end = {RangeEnd::kTime, value};
    return true;
}

std::string DescribeRangeEnd(const RangeEnd& end) {
    if (end.kind == RangeEnd::kPicture) return "picture " + std::to_string(end.value);
    char text[48];
    std::snprintf(text, sizeof text, "%lld.%06lld s", static_cast<long long>(end.value / kMicrosPerSecond),
                  static_cast<long long>(end.value % kMicrosPerSecond));
    std::string s = text;
    // "4.800000 s" reads as "4.8 s".
    size_t unit = s.size() - 2;
    while (s[unit - 1] == '0') s.erase(--unit, 1);
    if (s[unit - 1] == '.') s.erase(unit - 1, 1);
    return s;
}

int PictureRange::Compare(int64_t number, int64_t offsetMicros) const {
    const auto place = [&](const RangeEnd& end) { return end.kind == RangeEnd::kPicture ? number : offsetMicros; };
    if (from.kind != RangeEnd::kOpen && place(from) < from.value) return -1;
    if (to.kind != RangeEnd::kOpen && place(to) > to.value) return 1;
    return 0;
}
