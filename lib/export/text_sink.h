#pragma once
// The text outputs (.srt, .gpx, .kml, .csv): one TrackWriter into a file.

#include <fstream>
#include <memory>

#include "lib/export/export_sink.h"
#include "lib/export/track_writers.h"

class TextSink : public ExportSink {
public:
    TextSink(std::string path, std::unique_ptr<TrackWriter> writer);
    ~TextSink() override;

    int Open(std::string& error) override;
    int Start(const VideoStreamInfo&, std::string&) override;
    int AddPicture(const ExportedPicture& picture, std::string& error) override;
    int AddVideo(const std::vector<uint8_t>&, int64_t, int64_t, bool, std::string&) override;

protected:
    int Close(std::string& error) override;
    void CloseQuietly() override;

private:
    int Checked(std::string& error);

    std::unique_ptr<TrackWriter> writer_;
    std::ofstream out_;
};
