#include "lib/cli/reason_text.h"

#include <cctype>

std::string AsReason(std::string text) {
    const auto upper = [&text](size_t at) {
        return at < text.size() && std::isupper(static_cast<unsigned char>(text[at])) != 0;
    };
    if (upper(0) && !upper(1)) text[0] = static_cast<char>(std::tolower(static_cast<unsigned char>(text[0])));
    return text;
}
