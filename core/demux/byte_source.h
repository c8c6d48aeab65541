#pragma once
// Where a reader's bytes come from, when it may want to go back: a plain
// file (perhaps one still being recorded), bytes already in memory, or any
// input FFmpeg's I/O layer opens.
//
// A seek lands anywhere from 0 to the current size, both ends included; past
// the end it fails and the position stays where it was, so that a reader
// learns at once that it asked for bytes that are not there yet, instead of
// from a read that says "end" for every offset it miscounted. A file that
// grew accepts the seek once Size() says so.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

extern "C" {
struct AVIOContext;
}

class ByteSource {
public:
    virtual ~ByteSource() = default;
    ByteSource(const ByteSource&) = delete;
    ByteSource& operator=(const ByteSource&) = delete;

    // Bytes read (at most `size`), 0 at the end, negative on an error.
    virtual int64_t Read(uint8_t* buffer, size_t size) = 0;
    virtual bool Seek(uint64_t offset) = 0;
    // The size now, -1 when the input does not know it. Asked again, it sees
    // what a growing file has gained since.
    virtual int64_t Size() = 0;
    virtual uint64_t Position() const = 0;
    // Why the last Read or Seek failed; kept until the next failure.
    const std::string& Error() const { return error_; }

protected:
    ByteSource() = default;
    bool Fail(std::string reason);
    // True unless `offset` lies beyond a known `size`; then fails, saying so.
    bool WithinSize(uint64_t offset, int64_t size);

private:
    std::string error_;
};

// A plain file, opened once and read with read(2) at a position of its own.
// At its end a read says 0, and the next read sees whatever was appended
// since. A pipe or a terminal reads too, forward only.
class FileByteSource : public ByteSource {
public:
    // Null, with the reason in `error` (strerror's words), when it cannot be opened.
    static std::unique_ptr<FileByteSource> Open(const std::string& path, std::string& error);
    ~FileByteSource() override;

    int64_t Read(uint8_t* buffer, size_t size) override;
    bool Seek(uint64_t offset) override;
    int64_t Size() override;
    uint64_t Position() const override { return position_; }

private:
    explicit FileByteSource(int fd) : fd_(fd) {}

    int fd_;
    uint64_t position_ = 0;
};

// Bytes the caller owns and keeps alive, unchanged, for as long as the
// source is used: a recording already read whole is not copied again.
class MemoryByteSource : public ByteSource {
public:
    MemoryByteSource(const uint8_t* data, size_t size) : data_(data), size_(size) {}

    int64_t Read(uint8_t* buffer, size_t size) override;
    bool Seek(uint64_t offset) override;
    int64_t Size() override { return static_cast<int64_t>(size_); }
    uint64_t Position() const override { return position_; }

private:
    const uint8_t* data_;
    size_t size_;
    size_t position_ = 0;
};

// Any URL of FFmpeg's I/O layer ("file:", "pipe:", "http:", ...). Where the
// protocol cannot seek, only a seek to where the source already stands
// succeeds: whether a seek works should not hang on what the layer happens
// to hold in its buffer.
class AvioByteSource : public ByteSource {
public:
    // Null, with the reason in `error` (FFmpeg's words), when it cannot be opened.
    static std::unique_ptr<AvioByteSource> Open(const std::string& url, std::string& error);
    ~AvioByteSource() override;

    int64_t Read(uint8_t* buffer, size_t size) override;
    bool Seek(uint64_t offset) override;
    int64_t Size() override;
    uint64_t Position() const override;

private:
    explicit AvioByteSource(AVIOContext* io) : io_(io) {}

    AVIOContext* io_;
};

// A name whose "scheme:" prefix is one of FFmpeg's input protocols opens
// through its I/O layer; any other name is a file path. Null, with the
// reason in `error`, when it cannot be opened.
std::unique_ptr<ByteSource> OpenByteSource(const std::string& pathOrUrl, std::string& error);
