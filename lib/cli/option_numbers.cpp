#include "lib/cli/option_numbers.h"

#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <cstring>

bool ParseInteger(const char* text, long long lowest, long long highest, long long& value) {
    errno = 0;
    char* end = nullptr;
    value = std::strtoll(text, &end, 10);
    return errno == 0 && end != text && *end == '\0' && value >= lowest && value <= highest;
}

// from_chars, unlike strtod, takes "." as the decimal point whatever the
// locale, and takes no spaces, no hexadecimal and no leading "+".
bool ParseDecimal(const char* text, double lowest, double highest, double& value) {
    const char* end = text + std::strlen(text);
    const std::from_chars_result read = std::from_chars(text, end, value);
    return read.ec == std::errc() && read.ptr == end && std::isfinite(value) && value >= lowest &&
           value <= highest;
}
