#include "lib/export/export_sink.h"

#include <unistd.h>

#include <cstdio>
#include <utility>

#include "lib/export/export_status.h"

// The temporary name keeps the folder, so the final rename never crosses
// file systems, and carries the process id, so two exports never share one.
ExportSink::ExportSink(std::string path)
    : path_(std::move(path)), temporary_(path_ + ".part-" + std::to_string(getpid())) {}

// Derived sinks call Abandon() in their own destructors, while their files
// can still be closed; here only the name is left to remove.
ExportSink::~ExportSink() {
    if (!done_) std::remove(temporary_.c_str());
}

int ExportSink::Finish(std::string& error) {
    const int closed = Close(error);
    if (closed != export_status::kOk) {
        Abandon();
        return closed;
    }
    if (std::rename(temporary_.c_str(), path_.c_str()) != 0) {
        error = "cannot rename the finished file to " + path_;
        Abandon();
        return export_status::kWriteFailed;
    }
    done_ = true;
    return export_status::kOk;
}

void ExportSink::Abandon() {
    if (done_) return;
    done_ = true;
    CloseQuietly();
    std::remove(temporary_.c_str());
}
