#include "app/prescan.h"

#include <memory>

#include "app/time.h"
#include "qdx/block.h"
#include "qdx/reader.h"

namespace kavrino {

bool IsDataBlockNumber(uint16_t number) {
  switch (number) {
    case 4027:  // ChannelMeasurements
    case 4075:  // SensorText
    case 4109:  // CompactMeasurements
    case 5902:  // ReceiverSetup
    case 5903:  // CartesianFix2
    case 5904:  // GeodeticFix2
    case 5913:  // OtherDataBlock
    case 5944:  // ChannelMeasurementsVariant
      return true;
    default:
      return false;
  }
}

bool IsMeasurementBlockNumber(uint16_t number) {
  return number == 4027 || number == 4109 || number == 5944;
}

int64_t FindFirstDataEpoch(const char* path, int64_t start_ms, int64_t end_ms) {
  const int64_t start = start_ms < kMsPerDay ? INT64_MIN : start_ms;
  const int64_t end = end_ms < kMsPerDay ? INT64_MAX : end_ms;
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
  CloseQdxReader(reader.get());
  return first;
}

}  // namespace kavrino
