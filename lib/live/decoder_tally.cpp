#include "lib/live/decoder_tally.h"

#include <algorithm>
#include <cctype>
#include <vector>

namespace live {

namespace {

// The message's kind: its text with each run of digits as one '#'.
std::string KindOf(const std::string& line) {
    std::string kind;
    for (size_t i = 0; i < line.size(); ++i) {
        if (std::isdigit(static_cast<unsigned char>(line[i]))) {
            if (kind.empty() || kind.back() != '#') kind += '#';
        } else if (line[i] != '\n' && line[i] != '\r') {
            kind += line[i];
        }
    }
    return kind;
}

}  // namespace

void DecoderTally::Take(const char* text) {
    std::lock_guard<std::mutex> hold(lock_);
    pending_ += text;
    if (pending_.empty() || pending_.back() != '\n') return;
    const std::string kind = KindOf(pending_);
    pending_.clear();
    if (!kind.empty()) ++counts_[kind];
}

std::string DecoderTally::Summary() {
    std::vector<std::pair<std::string, uint64_t>> kinds;
    {
        std::lock_guard<std::mutex> hold(lock_);
        kinds.assign(counts_.begin(), counts_.end());
        counts_.clear();
    }
    if (kinds.empty()) return {};
    std::stable_sort(kinds.begin(), kinds.end(), [](const auto& a, const auto& b) { return a.second > b.second; });
    std::string text = "decoder:";
    for (size_t i = 0; i < kinds.size(); ++i) {
        text += (i == 0 ? " " : "; ") + std::to_string(kinds[i].second) + " x " + kinds[i].first;
    }
    return text;
}

}  // namespace live
