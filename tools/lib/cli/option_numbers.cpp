#include "tools/lib/cli/option_numbers.h"

#include <cerrno>
#include <cstdlib>

bool ParseInteger(const char* text, long long lowest, long long highest, long long& value) {
    errno = 0;
    char* end = nullptr;
    value = std::strtoll(text, &end, 10);
    return errno == 0 && end != text && *end == '\0' && value >= lowest && value <= highest;
}
