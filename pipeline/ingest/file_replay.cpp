// Paced replay of the recorded downlink file.

#include <fstream>
#include <iostream>
#include <new>
#include <string>

#include "core/format/replay_pace.h"
#include "pipeline/decode_data.h"
#include "pipeline/ingest/replay_messages.h"
#include "pipeline/ingest/replay_pause.h"

int64_t DecodeData::ReadChunk(const std::string& path, uint64_t chunkSize, int64_t& offset,
                              uint8_t* buffer) {
    if (buffer == nullptr) {
        std::cerr << replay_message::kNoBuffer << std::endl;
        return 0;
    }
    // Opened anew for every chunk, so a file that grows while it is replayed
    // is read up to whatever end it has now.
    std::ifstream file(path, std::ios::in | std::ios::binary);
    if (!file.is_open()) {
        std::cerr << replay_message::kCannotOpen << path << std::endl;
        return 0;
    }
    file.seekg(offset, std::ios::beg);
    if (!file || file.eof()) return 0;
    file.read(reinterpret_cast<char*>(buffer), static_cast<std::streamsize>(chunkSize));
    const int64_t n = file.gcount();
    offset += n;
    return n;
}

void DecodeData::ReplayFile(const std::string& path, uint64_t chunkSize) {
    uint8_t* buffer = new (std::nothrow) uint8_t[chunkSize];
    if (buffer == nullptr) {
        std::cerr << replay_message::kOutOfMemory << std::endl;
        return;
    }
    int64_t offset = 0;
    uint64_t chunks = 0;
    while (!stopRequested) {
        const int64_t n = ReadChunk(path, chunkSize, offset, buffer);
        if (n == 0) break;
        ++chunks;
        ParseLink(buffer, static_cast<int32_t>(n));
        PauseReplay(replay_pace::kPauseMs);
    }
    delete[] buffer;
    // One write: the worker may be printing a telemetry line at this moment,
    // and separate writes could be torn apart by it.
    const std::string done = replay_message::kDoneBefore + std::to_string(chunks) +
                             replay_message::kDoneAfter + "\n";
    std::cout.write(done.data(), static_cast<std::streamsize>(done.size()));
    std::cout.flush();
}
