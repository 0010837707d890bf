#include "qdx/lookups.h"

#include <memory>

#include "core/time.h"
#include "qdx/block.h"
#include "qdx/block_numbers.h"

namespace kavrino {
namespace {

constexpr size_t kLeapOffset = 33;  // i8 current leap seconds in both UTC blocks

}  // namespace

void ReadReceiverSetup(QdxReader* reader, ReceiverSetupRecord* record) {
  SetReceiverSetupDefaults(record);
  // Called once per product: one block buffer for the look-up is cheap.
  auto buffer = std::make_unique<uint8_t[]>(kQdxMaxBlockSize);
  if (GetNextQdxBlock(reader, buffer.get(), kReceiverSetupBlock, kReceiverSetupBlock,
                      kQdxModePeek) == 0) {
    OverlayReceiverSetup(buffer.get(), record);
  }
}

int8_t GetLeapCount(QdxReader* reader, int64_t first_epoch_ms) {
  auto block = std::make_unique<uint8_t[]>(kQdxMaxBlockSize + 1);
  const int64_t start = QdxTell(reader);
  // The first block long enough to carry the count; a shorter one is damaged.
  while (GetNextQdxBlock(reader, block.get(), kGalUtcParamsBlock, kGpsUtcParamsBlock,
                         kQdxModeWalk) == 0) {
    if (QdxBlockLength(block.get()) > kLeapOffset) {
      QdxSeek(reader, start);
      return ReadI8(block.get() + kLeapOffset);
    }
  }
  QdxSeek(reader, start);
  return LeapCountFromTable(static_cast<int32_t>(first_epoch_ms / 1000));
}

}  // namespace kavrino
