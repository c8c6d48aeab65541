#pragma once
// The containers (.ts, .mkv, .mp4), written by libavformat: the video copied
// as the player decodes it and one telemetry packet per picture.

#include "lib/export/container_output.h"
#include "lib/export/container_streams.h"
#include "lib/export/export_sink.h"

extern "C" {
struct AVFormatContext;
struct AVStream;
struct AVPacket;
}

class ContainerSink : public ExportSink {
public:
    // `fpsNum / fpsDen` pictures a second: one index is one picture interval.
    ContainerSink(std::string path, ContainerKind kind, int fpsNum, int fpsDen);
    ~ContainerSink() override;

    int Open(std::string& error) override;
    int Start(const VideoStreamInfo& info, std::string& error) override;
    int AddPicture(const ExportedPicture& picture, std::string& error) override;
    int AddVideo(const std::vector<uint8_t>& accessUnit, int64_t ptsIndex, int64_t dtsIndex, bool key,
                 std::string& error) override;

protected:
    int Close(std::string& error) override;
    void CloseQuietly() override;

private:
    int Write(AVStream* stream, const std::vector<uint8_t>& payload, int64_t pts, int64_t dts, bool key,
              std::string& error);
    int Failed(const char* what, int code, std::string& error) const;

    ContainerKind kind_;
    int fpsNum_;
    int fpsDen_;
    ContainerOutput output_;
    AVFormatContext* format_ = nullptr;
    AVStream* video_ = nullptr;
    AVStream* telemetry_ = nullptr;
    AVPacket* packet_ = nullptr;
    int width_ = 0;
    int height_ = 0;
    bool headerWritten_ = false;
};
