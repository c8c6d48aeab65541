#pragma once
// Keeps every received byte, unmodified and in order, in a recording the
// player and the tools read. The reader hands bytes over without waiting:
// a writer thread beside the pipeline takes them through a bounded buffer
// and writes them at once, so the disk never holds up the pictures. What
// the buffer cannot take, or the disk refuses, is counted as lost.

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace live {

struct RecorderSettings {
    std::string path;
    double splitMinutes = 0;  // 0: one file
    bool force = false;
    size_t bufferLimit = 64u << 20;
};

class Recorder {
public:
    // `report` says once what stopped the recording.
    explicit Recorder(std::function<void(const std::string&)> report);
    ~Recorder();
    Recorder(const Recorder&) = delete;
    Recorder& operator=(const Recorder&) = delete;

    // Checks, before anything arrives and without making it, that the first
    // file can be made; false with `error` set when it exists (without
    // `force`), is a folder, or its folder is missing or closed to us.
    bool Prepare(const RecorderSettings& settings, std::string& error);
    // Makes the first file and starts the writer, once the input has opened.
    // A file that cannot be made now stops the recording as a failing disk
    // would: said once, and every byte counted as lost.
    void Start();
    // From the reader only; never waits for the disk.
    void Keep(const uint8_t* data, size_t size);
    // Writes what is buffered, syncs the file to the disk and closes it.
    void Finish();

    uint64_t Recorded() const { return recorded_; }
    uint64_t Lost() const { return lost_; }

private:
    struct Piece {
        std::vector<uint8_t> bytes;
        bool newFile = false;  // close the file before these bytes, open the next
    };

    void Push(const uint8_t* data, size_t size, bool newFile);
    bool SplitDue() const;
    void WriterLoop();
    void WritePiece(Piece& piece);
    std::string FirstFileName() const;
    int OpenFile(const std::string& path);
    bool OpenNumberedFile(std::string& error);
    bool OpenFirstFile(std::string& error);
    void CloseFile();
    void Fail(const std::string& what);

    std::function<void(const std::string&)> report_;
    RecorderSettings settings_;
    int fd_ = -1;
    unsigned fileNumber_ = 0;  // of the split file open, from 1
    std::string currentPath_;
    std::chrono::steady_clock::time_point fileStart_;
    bool cutPending_ = false;  // reader side: a new file waits for a frame start

    std::mutex lock_;
    std::condition_variable wake_;
    std::deque<Piece> pieces_;
    size_t buffered_ = 0;
    bool finishing_ = false;
    std::atomic<bool> failed_{false};
    std::atomic<uint64_t> recorded_{0};
    std::atomic<uint64_t> lost_{0};
    bool overflowReported_ = false;
    std::thread writer_;
};

}  // namespace live
