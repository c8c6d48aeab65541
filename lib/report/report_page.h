#pragma once
// The report page: header, link timeline, bit rate, pictures and flight
// track, drawn once with cairo to PNG, SVG or PDF (by the file's extension).

#include <cairo.h>

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

// The page's fonts looked up and opened: fontconfig reads its configuration
// the first time, some milliseconds that a thread beside the read can spend
// instead of the page. Any thread, any time before the page.
void LoadReportFonts();
// What the page states in place of an empty panel.
std::vector<std::string> ReportNotices(const ReportFacts& facts);
// True for the extensions WriteReportPage knows: .png, .svg, .pdf.
bool IsReportPath(const std::string& path);
bool WriteReportPage(const ReportPage& page, const std::string& path, std::string& error);
// A page drawn on an RGB24 image surface, as PNG.
cairo_status_t WritePagePng(cairo_surface_t* surface, const std::string& path);
