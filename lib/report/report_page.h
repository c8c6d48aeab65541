#pragma once
// The report page: header, link timeline, bit rate, pictures and flight
// track, drawn once with cairo to PNG, SVG or PDF (by the file's extension).

#include <string>
#include <vector>

#include "lib/report/link_timeline.h"
#include "lib/report/report_collector.h"
#include "lib/report/thumbnail_sampler.h"

struct ReportPage {
    const ReportFacts& facts;
    const LinkTimeline& timeline;
    const ThumbnailSampler& thumbnails;
};

extern const char kNoTelemetryNotice[];
extern const char kNoPicturesNotice[];
extern const char kNoFramesNotice[];

// What the page states in place of an empty panel.
std::vector<std::string> ReportNotices(const ReportFacts& facts);
// True for the extensions WriteReportPage knows: .png, .svg, .pdf.
bool IsReportPath(const std::string& path);
bool WriteReportPage(const ReportPage& page, const std::string& path, std::string& error);
