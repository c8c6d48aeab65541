#pragma once
// What becomes of each converted picture: it is counted, channel 0's window
// is cut out of it, its telemetry line is printed, the picture observer sees
// it and the window shows it. Run on its owner's fields: frameCount,
// videoType, picWidth, picHeight, cropBuf, linePrinted, windowEnabled,
// windowTitle, window (a PictureWindow), onPicture and decoding (a
// DecodeBookkeeping).

#include <cstdint>
#include <iostream>
#include <type_traits>
#include <utility>

#include "core/decode/decode_steps.h"
#include "core/format/telemetry_record.h"
#include "core/present/channel_crop.h"
#include "core/present/shown_picture.h"
#include "core/present/telemetry_line.h"

namespace show_steps {

// An owner may take the lines itself (`lineSink`); the player's object
// writes them to standard output.
template <typename O, typename = void>
struct TakesLines : std::false_type {};
template <typename O>
struct TakesLines<O, std::void_t<decltype(std::declval<O&>().lineSink)>> : std::true_type {};

// An owner that keeps a PictureTrust (`trust`) tells the observer whether
// each picture depends on nothing lost.
template <typename O, typename = void>
struct KnowsTrust : std::false_type {};
template <typename O>
struct KnowsTrust<O, std::void_t<decltype(std::declval<O&>().trust)>> : std::true_type {};

template <typename O>
void PrintLine(O& o, const TelemetryValues& values) {
    if constexpr (TakesLines<O>::value) {
        if (o.lineSink) {
            char line[kTelemetryLineMax];
            const size_t length = FormatTelemetryLine(line, o.frameCount, o.videoType, values);
            o.lineSink(line, length);
            return;
        }
    }
    WriteTelemetryLine(std::cout, o.frameCount, o.videoType, values);
}

// `picture` is the converted picture, or nullptr when nothing looks at its
// pixels: the count, the line and the shown size are the same either way.
template <typename O>
void ShowPicture(O& o, const uint8_t* picture, const TelemetryRecord& record) {
    o.frameCount = static_cast<int32_t>(static_cast<uint32_t>(o.frameCount) + 1u);
    const TelemetryValues values = DecodeTelemetry(record);
    const PictureArea area = channel_crop::ShownArea(o.videoType, o.picWidth, o.picHeight);
    const uint8_t* shown = picture;
    if (picture != nullptr && (area.width != o.picWidth || area.height != o.picHeight)) {
        channel_crop::Crop(o.cropBuf, picture);
        shown = o.cropBuf;
    }
    if (o.linePrinted) PrintLine(o, values);
    if (o.onPicture) {
        ShownPicture seen{shown, area.width, area.height, record, o.decoding.shownTag};
        if constexpr (KnowsTrust<O>::value) seen.trusted = o.trust.Trusted(o.decoding.shownTag);
        if (o.decoding.smallMade) {
            seen.smallRgb = o.decoding.small.Pixels();
            seen.smallWidth = o.decoding.small.Width();
            seen.smallHeight = o.decoding.small.Height();
        }
        o.onPicture(seen);
    }
    o.decoding.smallMade = false;
    // A window that cannot be shown must not end the pictures: the lines
    // and the observer go on without it.
    if (o.windowEnabled && shown != nullptr) {
        o.windowEnabled = o.window.Show(o.windowTitle, shown, area.height, area.width);
    }
}

}  // namespace show_steps
