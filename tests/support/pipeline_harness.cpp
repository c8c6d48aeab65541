#include "tests/support/pipeline_harness.h"

#include <algorithm>

namespace test_pipeline {

std::unique_ptr<DecodeData> Bare() {
    auto pipeline = std::make_unique<DecodeData>();
    pipeline->AllocateBuffers();
    pipeline->Present({/*window=*/false, /*lines=*/false, /*firstUnitLine=*/true});
    return pipeline;
}

std::unique_ptr<DecodeData> WithDecoder() {
    auto pipeline = Bare();
    pipeline->OpenDecoder();
    return pipeline;
}

std::vector<Bytes> TakeQueued(DecodeData& pipeline) {
    std::vector<Bytes> payloads;
    while (tagFRAME_LIST_ELEMENT* element = pipeline.DequeuePayload()) {
        payloads.emplace_back(element->data, element->data + element->length);
        DecodeData::FreeElement(element);
    }
    return payloads;
}

void DrainQueue(DecodeData& pipeline) {
    while (pipeline.ProcessNextPayload()) {
    }
}

void Split(DecodeData& pipeline, const Bytes& stream, size_t pieceSize) {
    for (size_t pos = 0; pos < stream.size(); pos += pieceSize) {
        const size_t n = std::min(pieceSize, stream.size() - pos);
        pipeline.SplitNal(stream.data() + pos, static_cast<int32_t>(n));
    }
}

UnitLog::UnitLog(DecodeData& pipeline) {
    pipeline.onNal = [this](const uint8_t* unit, int32_t length) {
        units.emplace_back(unit, unit + length);
    };
}

PictureLog::PictureLog(DecodeData& pipeline) {
    pipeline.onPicture = [this](const ShownPicture& p) {
        pictures.push_back({p.width, p.height, Bytes(p.rgb, p.rgb + size_t(p.width) * p.height * 3), p.record});
    };
}

Bytes Unit(const Bytes& afterStartCode) {
    Bytes unit(4 + afterStartCode.size(), 0x00);
    unit[3] = 0x01;
    std::copy(afterStartCode.begin(), afterStartCode.end(), unit.begin() + 4);
    return unit;
}

}  // namespace test_pipeline
