#include "core/present/telemetry_line.h"

#include <array>
#include <charconv>
#include <cstring>
#include <ostream>

namespace {

// Qt sets the C locale from the environment, so printf's %g could write a
// decimal comma; to_chars always writes the "C" locale's %g.
class LineWriter {
public:
    explicit LineWriter(char (&out)[kTelemetryLineMax]) : pos_(out), end_(out + kTelemetryLineMax) {}

    void Text(const char* text) {
        const size_t n = std::strlen(text);
        std::memcpy(pos_, text, n);
        pos_ += n;
    }
    void Integer(int32_t value) { pos_ = std::to_chars(pos_, end_, value).ptr; }
    void General(double value) {
        pos_ = std::to_chars(pos_, end_, value, std::chars_format::general, 6).ptr;
    }
    char* Position() const { return pos_; }

private:
    char* pos_;
    char* end_;
};

// The values in the line's order, with the label each carries there.
struct LabelledValue {
    const char* label;
    double value;
};

std::array<LabelledValue, 5> InLineOrder(const TelemetryValues& values) {
    return {{{",Az:", values.azimuth},
             {",Pt:", values.pitch},
             {",Lon:", values.longitude},
             {",Lat:", values.latitude},
             {",H:", values.height}}};
}

}  // namespace

size_t FormatTelemetryLine(char (&out)[kTelemetryLineMax], int32_t count, int32_t videoType,
                           const TelemetryValues& values) {
    LineWriter line(out);
    line.Integer(count);
    line.Text(",video:");
    line.Integer(videoType);
    for (const LabelledValue& field : InLineOrder(values)) {
        line.Text(field.label);
        line.General(field.value);
    }
    line.Text("\n");
    return static_cast<size_t>(line.Position() - out);
}

std::string TelemetryValuesCsv(const TelemetryValues& values) {
    char text[kTelemetryLineMax];
    LineWriter row(text);
    bool first = true;
    for (const LabelledValue& field : InLineOrder(values)) {
        if (!first) row.Text(",");
        first = false;
        row.General(field.value);
    }
    return std::string(text, row.Position());
}

std::string TelemetryNumber(double value) {
    char text[kTelemetryLineMax];
    LineWriter number(text);
    number.General(value);
    return std::string(text, number.Position());
}

void WriteTelemetryLine(std::ostream& out, int32_t count, int32_t videoType,
                        const TelemetryValues& values) {
    char text[kTelemetryLineMax];
    const size_t n = FormatTelemetryLine(text, count, videoType, values);
    out.write(text, static_cast<std::streamsize>(n));
    out.flush();
}
