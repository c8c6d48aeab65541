#pragma once
// One output of an export. Each is written to a temporary file beside its
// final name and renamed only once it is complete, so that a failed export
// leaves nothing behind under that name.

#include <cstdint>
#include <string>
#include <vector>

#include "lib/export/exported_picture.h"

// What the containers need before the first packet.
struct VideoStreamInfo {
    int width = 0;
    int height = 0;
    std::vector<uint8_t> parameterSets;  // VPS, SPS, PPS in Annex-B form
    int reorderDelay = 0;                // pictures the decoder holds back (B-frames)
};

// Each call returns an export_status value; `error` then says why in one line.
class ExportSink {
public:
    explicit ExportSink(std::string path);
    virtual ~ExportSink();
    ExportSink(const ExportSink&) = delete;
    ExportSink& operator=(const ExportSink&) = delete;

    const std::string& Path() const { return path_; }

    // Creates the temporary file.
    virtual int Open(std::string& error) = 0;
    // Before the first picture.
    virtual int Start(const VideoStreamInfo& info, std::string& error) = 0;
    // Pictures in the order the player shows them.
    virtual int AddPicture(const ExportedPicture& picture, std::string& error) = 0;
    // Access units in decode order, with their picture's index and pts index,
    // and the decode-time index; only for outputs that carry video.
    virtual int AddVideo(const std::vector<uint8_t>& accessUnit, int64_t ptsIndex, int64_t dtsIndex, bool key,
                         std::string& error) = 0;
    // Completes the file and gives it its final name.
    int Finish(std::string& error);
    // Removes the temporary file; the final name is never touched.
    void Abandon();

protected:
    const std::string& TemporaryPath() const { return temporary_; }
    virtual int Close(std::string& error) = 0;
    virtual void CloseQuietly() = 0;

private:
    std::string path_;
    std::string temporary_;
    bool done_ = false;
};
