#pragma once
// The decoder's messages, summarised for an operator: a picture lost on the
// link makes the decoder complain about every picture built on it, dozens a
// second, each naming its own numbers. Counted by kind (the text with its
// numbers left out) and said once a second instead. Any thread may call.

#include <cstdint>
#include <map>
#include <mutex>
#include <string>

namespace live {

class DecoderTally {
public:
    // A message as FFmpeg writes it; a line may come in several parts.
    void Take(const char* text);
    // "decoder: 12 x could not find ref with POC #; 1 x ..." for what came
    // since the last call, most frequent first; empty when nothing did.
    std::string Summary();

private:
    std::mutex lock_;
    std::string pending_;
    std::map<std::string, uint64_t> counts_;
};

}  // namespace live
