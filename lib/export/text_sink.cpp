#include "lib/export/text_sink.h"

#include <utility>

#include "lib/export/export_status.h"

TextSink::TextSink(std::string path, std::unique_ptr<TrackWriter> writer)
    : ExportSink(std::move(path)), writer_(std::move(writer)) {}

TextSink::~TextSink() { Abandon(); }

int TextSink::Open(std::string& error) {
    out_.open(TemporaryPath(), std::ios::binary | std::ios::trunc);
    if (!out_) {
        error = "cannot create " + Path();
        return export_status::kWriteFailed;
    }
    writer_->Begin(out_);
    return Checked(error);
}

int TextSink::Start(const VideoStreamInfo&, std::string&) { return export_status::kOk; }

int TextSink::AddPicture(const ExportedPicture& picture, std::string& error) {
    writer_->Add(out_, picture);
    return Checked(error);
}

int TextSink::AddVideo(const std::vector<uint8_t>&, int64_t, int64_t, bool, std::string&) {
    return export_status::kOk;
}

int TextSink::Close(std::string& error) {
    writer_->End(out_);
    out_.flush();
    const int status = Checked(error);
    out_.close();
    if (status == export_status::kOk && out_.fail()) {
        error = "cannot write " + Path();
        return export_status::kWriteFailed;
    }
    return status;
}

void TextSink::CloseQuietly() {
    if (out_.is_open()) out_.close();
}

// A full disk shows as a failed stream.
int TextSink::Checked(std::string& error) {
    if (out_) return export_status::kOk;
    error = "cannot write " + Path();
    return export_status::kWriteFailed;
}
