#include "convert/prescan.h"

#include <memory>

#include "convert/file_naming.h"
#include "qdx/block.h"
#include "qdx/block_numbers.h"
#include "qdx/reader.h"

namespace kavrino {

namespace {

// The window of the pre-scans: a time of day (or -1) limits neither end.
struct ScanWindow {
  int64_t start;
  int64_t end;
};

ScanWindow MakeScanWindow(const TimeWindow& window) {
  return {window.start_ms < kMsPerDay ? INT64_MIN : window.start_ms,
          window.end_ms < kMsPerDay ? INT64_MAX : window.end_ms};
}

// Closes the reader, noting its first failure of the system.
void Finish(QdxReader* reader, QdxReadFailure* failure) {
  if (!CloseQdxReader(reader) && failure->site == 0) *failure = reader->failure;
}

}  // namespace

int64_t FindFirstDataEpoch(const char* path, const TimeWindow& window, QdxReadFailure* failure) {
  const auto [start, end] = MakeScanWindow(window);
  auto reader = std::make_unique<QdxReader>();
  auto block = std::make_unique<uint8_t[]>(kQdxMaxBlockSize + 1);
  InitQdxReader(path, reader.get());
  int64_t first = 0;
  while (GetNextQdxBlock(reader.get(), block.get(), kQdxAnyBlock, kQdxAnyBlock, kQdxModeWalk) ==
         0) {
    const uint8_t* b = block.get();
    if (!IsQdxTimeValid(b) || !IsDataBlockNumber(QdxBlockNumber(b))) continue;
    const int64_t t = QdxBlockTimeMs(b);
    if (IsInWindow(t, start, end)) {
      first = t;
      break;
    }
  }
  Finish(reader.get(), failure);
  return first;
}

uint32_t MeasureDataSpan(const char* path, const TimeWindow& window, QdxReadFailure* failure) {
  const auto [start, end] = MakeScanWindow(window);
  auto reader = std::make_unique<QdxReader>();
  auto block = std::make_unique<uint8_t[]>(kQdxMaxBlockSize + 1);
  InitQdxReader(path, reader.get());
  bool have_data = false;
  bool have_meas = false;
  bool have_interval = false;
  int64_t first_data = 0;
  int64_t first_meas = 0;
  int64_t interval = 0;
  int64_t last = 0;
  while (GetNextQdxBlock(reader.get(), block.get(), kQdxAnyBlock, kQdxAnyBlock, kQdxModeWalk) ==
         0) {
    const uint8_t* b = block.get();
    // A block without a valid stamp says nothing about when the data end.
    if (!IsQdxTimeValid(b)) continue;
    const int64_t t = QdxBlockTimeMs(b);
    last = t;
    const uint16_t number = QdxBlockNumber(b);
    if (!IsDataBlockNumber(number) || !IsInWindow(t, start, end)) continue;
    if (!have_data) {
      have_data = true;
      first_data = t;
    }
    if (!IsEpochMeasBlockNumber(number) || have_interval) continue;
    if (!have_meas) {
      have_meas = true;
      first_meas = t;
    } else if (t != first_meas) {
      have_interval = true;
      interval = t - first_meas;
    }
  }
  Finish(reader.get(), failure);
  if (!have_data) return kNotMeasured;
  const int64_t span_ms = interval + last - first_data;
  if (span_ms < 0 || span_ms / 1000 >= kNotMeasured) return kNotMeasured;
  return static_cast<uint32_t>(span_ms / 1000);
}

}  // namespace kavrino
