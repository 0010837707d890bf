#include "convert/leap_count.h"

#include <iterator>
#include <memory>

#include "core/time.h"
#include "qdx/block.h"
#include "qdx/reader.h"
#include "rinex/nav/nav_slots.h"

namespace kavrino {
namespace {

constexpr size_t kLeapOffset = 33;  // i8 current leap seconds in both UTC blocks

}  // namespace

int8_t GetLeapCount(QdxReader* reader, int64_t first_epoch_ms) {
  auto block = std::make_unique<uint8_t[]>(kQdxMaxBlockSize + 1);
  const int64_t start = QdxTell(reader);
  bool found = false;
  int8_t count = kLeapCountUnknown;
  // The first block long enough to carry the count; a shorter one is damaged.
  while (GetNextQdxBlock(reader, block.get(), kGalUtcParamsBlock, kGpsUtcParamsBlock,
                         kQdxModeWalk) == 0) {
    if (QdxBlockLength(block.get()) > kLeapOffset) {
      count = ReadI8(block.get() + kLeapOffset);
      found = true;
      break;
    }
  }
  QdxSeek(reader, start);
  if (found) return count;
  return LeapCountFromTable(static_cast<int32_t>(first_epoch_ms / 1000));
}

}  // namespace kavrino
