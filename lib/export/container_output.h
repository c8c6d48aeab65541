#pragma once
// Where a container's bytes go: the temporary file, and for a transport
// stream through the KLV PES stream id rewrite on the way (see
// klv_pes_rewrite.h). The muxer writes to Context() and never sees the file.

#include <string>

#include "lib/export/klv_pes_rewrite.h"

extern "C" {
struct AVIOContext;
}

class ContainerOutput {
public:
    ContainerOutput() = default;
    ~ContainerOutput() { Abandon(); }
    ContainerOutput(const ContainerOutput&) = delete;
    ContainerOutput& operator=(const ContainerOutput&) = delete;

    // 0, or libavformat's error code.
    int Open(const std::string& path, bool rewriteKlv);
    AVIOContext* Context() const { return front_ != nullptr ? front_ : file_; }
    // The KLV stream's PID, once the muxer has chosen it in its header.
    void SetKlvPid(int pid) { rewriter_.SetPid(pid); }
    // Writes out what is buffered and closes the file: 0, or an error code.
    int Close();
    void Abandon();

private:
    // libavformat's write callback, on the muxer's thread: `buf` is lent
    // for the call only.
    static int WritePacket(void* opaque, uint8_t* buf, int size);
    void FreeFront();

    AVIOContext* file_ = nullptr;
    AVIOContext* front_ = nullptr;
    ts_klv::PesStreamIdRewriter rewriter_;
};
