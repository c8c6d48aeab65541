// Cost of the per-picture telemetry line: the record's fields decoded and
// written as the console line, without the stream write itself.

#include <benchmark/benchmark.h>

#include <array>
#include <cstring>

#include "core/format/byte_order.h"
#include "core/format/telemetry_record.h"
#include "core/present/telemetry_line.h"

namespace {

// A spread of records: a flight moves every field, so the line's numbers
// take all their widths (zero, short fixed, long fixed, exponent form).
constexpr size_t kRecordCount = 64;

std::array<TelemetryRecord, kRecordCount> FlightRecords() {
    std::array<TelemetryRecord, kRecordCount> records{};
    for (size_t i = 0; i < kRecordCount; ++i) {
        uint8_t* r = records[i].bytes;
        const int32_t step = static_cast<int32_t>(i);
        le::WriteU16(r + telemetry_field::kAzimuth, static_cast<uint16_t>(step * 997 - 30000));
        le::WriteU16(r + telemetry_field::kPitch, static_cast<uint16_t>(step * 311));
        le::WriteU32(r + telemetry_field::kLongitude, static_cast<uint32_t>(1163970000 + step * 1234));
        le::WriteU32(r + telemetry_field::kLatitude, static_cast<uint32_t>(-399080000 - step * 777));
        le::WriteU32(r + telemetry_field::kHeight, static_cast<uint32_t>(i % 8 == 0 ? 2000000000 : step * 5003));
    }
    return records;
}

void BM_FormatTelemetryLine(benchmark::State& state) {
    const auto records = FlightRecords();
    std::array<TelemetryValues, kRecordCount> values{};
    for (size_t i = 0; i < kRecordCount; ++i) values[i] = DecodeTelemetry(records[i]);
    char line[kTelemetryLineMax];
    size_t bytes = 0;
    int32_t count = 0;
    for (auto _ : state) {
        ++count;
        bytes += FormatTelemetryLine(line, count, 1, values[static_cast<size_t>(count) % kRecordCount]);
        benchmark::DoNotOptimize(line);
    }
    state.SetItemsProcessed(state.iterations());
    state.SetBytesProcessed(static_cast<int64_t>(bytes));
}
BENCHMARK(BM_FormatTelemetryLine);

// What ShowFrame spends on the line per picture before writing it.
void BM_DecodeAndFormatTelemetryLine(benchmark::State& state) {
    const auto records = FlightRecords();
    char line[kTelemetryLineMax];
    size_t bytes = 0;
    int32_t count = 0;
    for (auto _ : state) {
        ++count;
        const TelemetryValues values =
            DecodeTelemetry(records[static_cast<size_t>(count) % kRecordCount]);
        bytes += FormatTelemetryLine(line, count, 1, values);
        benchmark::DoNotOptimize(line);
    }
    state.SetItemsProcessed(state.iterations());
    state.SetBytesProcessed(static_cast<int64_t>(bytes));
}
BENCHMARK(BM_DecodeAndFormatTelemetryLine);

}  // namespace
