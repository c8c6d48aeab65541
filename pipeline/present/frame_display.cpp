// Shows each converted picture and prints its telemetry line.

#include "core/present/channel_crop.h"
#include "core/present/show_steps.h"
#include "pipeline/decode_data.h"

void DecodeData::CropChannel0(uint8_t* destination, const uint8_t* source) { channel_crop::Crop(destination, source); }

PictureArea DecodeData::ShownArea(int32_t width, int32_t height) const {
    return channel_crop::ShownArea(videoType, width, height);
}

int32_t DecodeData::ShowFrame(const uint8_t* picture, TelemetryRecord record) {
    show_steps::ShowPicture(*this, picture, record);
    return 0;
}
