#include "lib/report/report_page.h"

#include <cairo-pdf.h>
#include <cairo-svg.h>
#include <png.h>

#include <algorithm>
#include <cstring>

#include "lib/cli/file_names.h"
#include "lib/report/report_panels.h"

const char kNoTelemetryNotice[] = "no telemetry: the recording holds no telemetry records";
const char kNoPicturesNotice[] = "no pictures: nothing in the recording decoded to a picture";
const char kNoFramesNotice[] = "no link frames: the file holds no 512-byte link frame";

namespace {

constexpr double kPageWidth = 1400;
constexpr double kPageHeight = 1040;
constexpr double kMargin = 24;

void DrawFact(cairo_t* cr, double x, double y, const std::string& key, const std::string& value) {
    SetColour(cr, 0x5A6270);
    DrawText(cr, x, y, key, Align::kLeft, 12.5);
    SetColour(cr, 0x202428);
    DrawText(cr, x, y + 19, value, Align::kLeft, 15, true);
}

void DrawHeader(cairo_t* cr, const ReportPage& page) {
    const ReportFacts& f = page.facts;
    SetColour(cr, 0x202428);
    DrawText(cr, kMargin, 38, "Downlink recording: " + f.fileName, Align::kLeft, 22, true);
    SetColour(cr, 0x5A6270);
    DrawText(cr, kPageWidth - kMargin, 38, "inspect-recording " + f.version, Align::kRight, 13);
    const double y = 66;
    const std::string duration = FormatClock(page.timeline.DurationSeconds(), page.timeline.DurationSeconds() < 60);
    const std::string facts[][2] = {
        {"size", FormatBytes(f.bytes)},
        {"duration (at 480000 payload B/s)", duration},
        {"picture size", f.pictureSize.empty() ? "none" : f.pictureSize},
        {"pictures", FormatCount(f.pictures)},
        {"telemetry records", FormatCount(f.records)},
        {"link frames", FormatCount(f.linkFrames)},
        {"frames lost (numbers skipped)", FormatCount(page.timeline.FramesLost())},
    };
    double x = kMargin;
    for (const auto& fact : facts) {
        DrawFact(cr, x, y, fact[0], fact[1]);
        x += std::max(TextWidth(cr, fact[0], 12.5), TextWidth(cr, fact[1], 15, true)) + 30;
    }
    SetColour(cr, 0xD0D4DA);
    cairo_rectangle(cr, kMargin, 100, kPageWidth - 2 * kMargin, 1);
    cairo_fill(cr);
}

void DrawPictures(cairo_t* cr, const Box& box, const ReportPage& page) {
    const std::vector<const Thumbnail*> shown = page.thumbnails.Spread(kThumbnailsShown);
    DrawPanelTitle(cr, box, shown.empty() ? "Pictures"
                                          : "Pictures: " + std::to_string(shown.size()) + " of " +
                                                FormatCount(page.facts.pictures) + ", evenly spaced");
    if (shown.empty()) return DrawNotice(cr, box, kNoPicturesNotice);
    const double cell = box.w / kThumbnailsShown;
    const bool tenths = page.timeline.DurationSeconds() < 60;
    for (size_t i = 0; i < shown.size(); ++i) {
        const Thumbnail& t = *shown[i];
        const double x = box.x + i * cell + (cell - t.width) / 2;
        cairo_surface_t* image = cairo_image_surface_create_for_data(
            const_cast<uint8_t*>(t.pixels.data()), CAIRO_FORMAT_RGB24, t.width, t.height, t.width * 4);
        cairo_set_source_surface(cr, image, x, box.y);
        cairo_paint(cr);
        cairo_surface_destroy(image);
        SetColour(cr, 0x202428);
        DrawText(cr, box.x + i * cell + cell / 2, box.y + kThumbnailHeight + 18,
                 "#" + FormatCount(t.picture) + "  at " + FormatClock(t.seconds, tenths), Align::kCenter, 13);
    }
}

void DrawPage(cairo_t* cr, const ReportPage& page) {
    SetColour(cr, 0xFFFFFF);
    cairo_paint(cr);
    DrawHeader(cr, page);
    const double w = kPageWidth - 2 * kMargin;
    if (page.facts.linkFrames == 0) {
        DrawNotice(cr, Box{kMargin, 138, w, 442}, kNoFramesNotice);
    } else {
        DrawLinkPanel(cr, Box{kMargin, 138, w, 230}, page);
        DrawRatePanel(cr, Box{kMargin, 410, w, 170}, page);
    }
    DrawPictures(cr, Box{kMargin, 618, w, kThumbnailHeight + 24}, page);
    const double third = w / 3;
    DrawTrackMap(cr, Box{kMargin, 772, third - 16, 250}, page);
    DrawHeightPanel(cr, Box{kMargin + third, 772, third - 16, 250}, page);
    DrawAnglesPanel(cr, Box{kMargin + 2 * third, 772, third - 8, 250}, page);
}

cairo_surface_t* CreateSurface(const std::string& ext, const std::string& path) {
    if (ext == ".svg") return cairo_svg_surface_create(path.c_str(), kPageWidth, kPageHeight);
    if (ext == ".pdf") return cairo_pdf_surface_create(path.c_str(), kPageWidth, kPageHeight);
    return cairo_image_surface_create(CAIRO_FORMAT_RGB24, static_cast<int>(kPageWidth),
                                      static_cast<int>(kPageHeight));
}

}  // namespace

// cairo 1.16 compresses its PNG at zlib's default level, trying every filter
// on every row: about 60 ms for the page, longer than drawing it, all after
// the read. libpng's fast setting (level 3, no filters) takes a third of
// that for the same pixels, in a file a sixth larger.
cairo_status_t WritePagePng(cairo_surface_t* surface, const std::string& path) {
    cairo_surface_flush(surface);
    const int width = cairo_image_surface_get_width(surface);
    const int height = cairo_image_surface_get_height(surface);
    const int stride = cairo_image_surface_get_stride(surface);
    const uint8_t* data = cairo_image_surface_get_data(surface);
    if (data == nullptr) return CAIRO_STATUS_NULL_POINTER;
    // RGB24 keeps each pixel as a native-endian 0x00RRGGBB word.
    std::vector<uint8_t> rgb(static_cast<size_t>(width) * height * 3);
    uint8_t* out = rgb.data();
    for (int y = 0; y < height; ++y) {
        const uint8_t* row = data + static_cast<size_t>(y) * stride;
        for (int x = 0; x < width; ++x, out += 3) {
            uint32_t pixel;
            std::memcpy(&pixel, row + x * 4, sizeof pixel);
            out[0] = static_cast<uint8_t>(pixel >> 16);
            out[1] = static_cast<uint8_t>(pixel >> 8);
            out[2] = static_cast<uint8_t>(pixel);
        }
    }
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    image.width = static_cast<png_uint_32>(width);
    image.height = static_cast<png_uint_32>(height);
    image.format = PNG_FORMAT_RGB;
    image.flags = PNG_IMAGE_FLAG_FAST;
    const bool written = png_image_write_to_file(&image, path.c_str(), 0, rgb.data(), 0, nullptr) != 0;
    png_image_free(&image);
    return written ? CAIRO_STATUS_SUCCESS : CAIRO_STATUS_WRITE_ERROR;
}

void LoadReportFonts() { LoadFonts(); }

std::vector<std::string> ReportNotices(const ReportFacts& facts) {
    std::vector<std::string> notices;
    if (facts.linkFrames == 0) notices.push_back(kNoFramesNotice);
    if (facts.pictures == 0) notices.push_back(kNoPicturesNotice);
    if (facts.records == 0) notices.push_back(kNoTelemetryNotice);
    return notices;
}

bool IsReportPath(const std::string& path) {
    const std::string ext = FileExtension(path);
    return ext == ".png" || ext == ".svg" || ext == ".pdf";
}

bool WriteReportPage(const ReportPage& page, const std::string& path, std::string& error) {
    const std::string ext = FileExtension(path);
    cairo_surface_t* surface = CreateSurface(ext, path);
    cairo_t* cr = cairo_create(surface);
    DrawPage(cr, page);
    cairo_destroy(cr);
    cairo_surface_flush(surface);
    cairo_status_t status = cairo_surface_status(surface);
    if (status == CAIRO_STATUS_SUCCESS && ext == ".png") status = WritePagePng(surface, path);
    cairo_surface_finish(surface);
    if (status == CAIRO_STATUS_SUCCESS) status = cairo_surface_status(surface);
    cairo_surface_destroy(surface);
    if (status != CAIRO_STATUS_SUCCESS) error = "cannot write " + path + ": " + cairo_status_to_string(status);
    return status == CAIRO_STATUS_SUCCESS;
}
