#include "bench/inputs/joined_recording.h"

#include <sys/stat.h>

#include <cstdio>
#include <fstream>
#include <vector>

#include "core/format/byte_order.h"
#include "core/format/link_frame.h"
#include "lib/reading/recording_reader.h"

namespace {

void Renumber(std::vector<uint8_t>& piece, uint64_t& index) {
    using namespace link_frame;
    for (size_t at = 0; at + kFrameSize <= piece.size(); at += kFrameSize, ++index) {
        le::WriteU32(piece.data() + at + kWordOffset, static_cast<uint32_t>(index));
        le::WriteU16(piece.data() + at + kSequenceOffset, static_cast<uint16_t>(index + 1));
    }
}

}  // namespace

bool JoinCopies(const std::string& piecePath, const std::string& out, int copies) {
    std::vector<uint8_t> piece;
    std::string error;
    if (!ReadWholeFile(piecePath, piece, error) || piece.size() % link_frame::kFrameSize != 0) {
        std::fprintf(stderr, "cannot use %s: %s\n", piecePath.c_str(), error.c_str());
        return false;
    }
    std::ofstream file(out, std::ios::binary | std::ios::trunc);
    uint64_t index = 0;
    for (int i = 0; i < copies && file; ++i) {
        Renumber(piece, index);
        file.write(reinterpret_cast<const char*>(piece.data()), static_cast<std::streamsize>(piece.size()));
    }
    if (!file) std::fprintf(stderr, "cannot write %s\n", out.c_str());
    return static_cast<bool>(file);
}

double FileBytes(const std::string& path) {
    struct stat st {};
    return stat(path.c_str(), &st) == 0 ? static_cast<double>(st.st_size) : 0;
}
