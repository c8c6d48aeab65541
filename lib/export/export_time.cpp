#include "lib/export/export_time.h"

#include <cstdio>
#include <ctime>

namespace {

constexpr int64_t kMicrosPerSecond = 1000000;
constexpr size_t kMaxFractionDigits = 6;  // the export's clock counts microseconds

class Cursor {
public:
    explicit Cursor(const std::string& text) : text_(text) {}

    bool Number(size_t digits, int& value) {
        value = 0;
        for (size_t i = 0; i < digits; ++i) {
            if (!IsDigit()) return false;
            value = value * 10 + (text_[pos_++] - '0');
        }
        return true;
    }
    bool Char(char c) {
        if (pos_ >= text_.size() || text_[pos_] != c) return false;
        ++pos_;
        return true;
    }
    // Optional ".f" with 1 to 6 digits, as microseconds.
    bool Fraction(int64_t& micros) {
        micros = 0;
        if (!Char('.')) return true;
        size_t digits = 0;
        int64_t scale = kMicrosPerSecond;
        while (IsDigit()) {
            if (++digits > kMaxFractionDigits) return false;
            scale /= 10;
            micros += (text_[pos_++] - '0') * scale;
        }
        return digits > 0;
    }
    // Only UTC: "Z" or "+00:00" ("-00:00" means an unknown offset).
    bool UtcDesignator() {
        const std::string rest = text_.substr(pos_);
        return rest == "Z" || rest == "+00:00";
    }

private:
    bool IsDigit() const { return pos_ < text_.size() && text_[pos_] >= '0' && text_[pos_] <= '9'; }

    const std::string& text_;
    size_t pos_ = 0;
};

bool ParseFields(const std::string& text, std::tm& fields, int64_t& fractionMicros) {
    Cursor at(text);
    fields = std::tm{};
    return at.Number(4, fields.tm_year) && at.Char('-') && at.Number(2, fields.tm_mon) && at.Char('-') &&
           at.Number(2, fields.tm_mday) && at.Char('T') && at.Number(2, fields.tm_hour) && at.Char(':') &&
           at.Number(2, fields.tm_min) && at.Char(':') && at.Number(2, fields.tm_sec) &&
           at.Fraction(fractionMicros) && at.UtcDesignator();
}

int64_t FloorDiv(int64_t value, int64_t divisor) {
    const int64_t quotient = value / divisor;
    return (value % divisor < 0) ? quotient - 1 : quotient;
}

}  // namespace

bool ParseIsoUtc(const std::string& text, int64_t& micros) {
    std::tm fields{};
    int64_t fraction = 0;
    if (!ParseFields(text, fields, fraction)) return false;
    const std::tm wanted = fields;
    fields.tm_year -= 1900;
    fields.tm_mon -= 1;
    const time_t seconds = timegm(&fields);
    // timegm normalises 02-30 or 24:00 into another date, and its -1 is also
    // a valid second: converting back tells an existing date from both.
    std::tm back{};
    if (gmtime_r(&seconds, &back) == nullptr) return false;
    if (back.tm_year + 1900 != wanted.tm_year || back.tm_mon + 1 != wanted.tm_mon ||
        back.tm_mday != wanted.tm_mday || back.tm_hour != wanted.tm_hour || back.tm_min != wanted.tm_min ||
        back.tm_sec != wanted.tm_sec) {
        return false;
    }
    micros = static_cast<int64_t>(seconds) * kMicrosPerSecond + fraction;
    return true;
}

namespace {

// Floor, not truncation toward zero, so that times before 1970 keep their
// second and show the millisecond they fall in.
bool BreakDown(int64_t micros, std::tm& t, int& millis) {
    const time_t seconds = static_cast<time_t>(FloorDiv(micros, kMicrosPerSecond));
    millis = static_cast<int>((micros - static_cast<int64_t>(seconds) * kMicrosPerSecond) / 1000);
    return gmtime_r(&seconds, &t) != nullptr;
}

}  // namespace

std::string FormatIsoUtc(int64_t micros) {
    std::tm t{};
    int millis = 0;
    if (!BreakDown(micros, t, millis)) return {};
    char text[64];
    std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d.%03dZ", t.tm_year + 1900, t.tm_mon + 1,
                  t.tm_mday, t.tm_hour, t.tm_min, t.tm_sec, millis);
    return text;
}

std::string FormatUtcTimeOfDay(int64_t micros) {
    std::tm t{};
    int millis = 0;
    if (!BreakDown(micros, t, millis)) return {};
    char text[32];
    std::snprintf(text, sizeof text, "%02d:%02d:%02d.%03d", t.tm_hour, t.tm_min, t.tm_sec, millis);
    return text;
}
