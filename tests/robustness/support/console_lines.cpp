#include "tests/robustness/support/console_lines.h"

#include <cstdlib>
#include <sstream>

#include "pipeline/ingest/replay_messages.h"

namespace {

bool AllDigits(const std::string& text, size_t from, size_t to) {
    if (from >= to) return false;
    for (size_t i = from; i < to; ++i) {
        if (text[i] < '0' || text[i] > '9') return false;
    }
    return true;
}

// A number as %g writes it: -12, 3.5, 2.14748e+06.
bool IsGeneralNumber(const std::string& text) {
    size_t pos = text[0] == '-' ? 1 : 0;
    size_t end = text.find_first_not_of("0123456789", pos);
    if (end == pos) return false;
    if (end == std::string::npos) return true;
    if (text[end] == '.') {
        pos = end + 1;
        end = text.find_first_not_of("0123456789", pos);
        if (end == pos) return false;
        if (end == std::string::npos) return true;
    }
    if (text[end] != 'e' || end + 2 >= text.size()) return false;
    if (text[end + 1] != '+' && text[end + 1] != '-') return false;
    return AllDigits(text, end + 2, text.size());
}

std::vector<std::string> SplitAtCommas(const std::string& line) {
    std::vector<std::string> fields;
    std::stringstream in(line);
    std::string field;
    while (std::getline(in, field, ',')) fields.push_back(field);
    return fields;
}

bool HasLabelledNumber(const std::string& field, const std::string& label) {
    return field.size() > label.size() && field.compare(0, label.size(), label) == 0 &&
           IsGeneralNumber(field.substr(label.size()));
}

bool EndsWithLiteral(const std::string& line, size_t from, const char* literal) {
    return line.compare(from, std::string::npos, literal) == 0;
}

}  // namespace

bool IsTelemetryLine(const std::string& line) {
    static const char* const kLabels[] = {"Az:", "Pt:", "Lon:", "Lat:", "H:"};
    const std::vector<std::string> fields = SplitAtCommas(line);
    if (line.empty() || line.back() == ',' || fields.size() != 7) return false;
    if (!AllDigits(fields[0], 0, fields[0].size()) || fields[1] != "video:1") return false;
    for (size_t i = 0; i < 5; ++i) {
        if (!HasLabelledNumber(fields[i + 2], kLabels[i])) return false;
    }
    return true;
}

bool IsCompletionLine(const std::string& line) {
    const std::string before = replay_message::kDoneBefore;
    if (line.compare(0, before.size(), before) != 0) return false;
    const size_t digitsEnd = line.find_first_not_of("0123456789", before.size());
    return digitsEnd != std::string::npos && AllDigits(line, before.size(), digitsEnd) &&
           EndsWithLiteral(line, digitsEnd, replay_message::kDoneAfter);
}

bool IsWellFormedConsoleLine(const std::string& line) {
    const std::string diagnostic = "aabbccdd:";
    const bool isDiagnostic = line.compare(0, diagnostic.size(), diagnostic) == 0 &&
                              line.back() == ',' &&
                              AllDigits(line, diagnostic.size(), line.size() - 1);
    return IsTelemetryLine(line) || IsCompletionLine(line) || isDiagnostic ||
           line == "sws_getContext failed";
}

int MarkerOf(const std::string& line) {
    const size_t at = line.rfind(",H:");
    if (at == std::string::npos || !IsTelemetryLine(line)) return -1;
    const std::string value = line.substr(at + 3);
    if (value.find_first_not_of("0123456789") != std::string::npos) return -1;
    return std::atoi(value.c_str());
}

int CountMarkers(const ConsoleLines& lines, int first, int last) {
    int count = 0;
    for (const std::string& line : lines) {
        const int marker = MarkerOf(line);
        if (marker >= first && marker <= last) ++count;
    }
    return count;
}
