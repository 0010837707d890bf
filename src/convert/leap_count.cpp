#include "convert/leap_count.h"

#include <iterator>
#include <memory>

#include "qdx/block.h"
#include "qdx/reader.h"
#include "rinex/nav/nav_slots.h"

namespace kavrino {
namespace {

constexpr int8_t kUnknown = -128;
constexpr size_t kLeapOffset = 33;  // i8 current leap seconds in both UTC blocks
// The table is not used for epochs after 2019-12-31 23:59:59 (GPS time).
constexpr int64_t kTableValidUntil = 1261871999;

// GPS time of 00:00:00 UTC on the day each leap second took effect; row k
// brings the count k + 1.
constexpr int64_t kLeapThresholds[] = {
    46828800,  78364801,  109900802, 173059203,  252028804,  315187205,
    346723206, 393984007, 425520008, 457056009,  504489610,  551750411,
    599184012, 820108813, 914803214, 1025136015, 1119744016, 1167264017,
};

}  // namespace

int8_t LeapCountFromTable(int64_t gps_seconds) {
  if (gps_seconds > kTableValidUntil) return kUnknown;
  int8_t count = kUnknown;
  for (size_t k = 0; k < std::size(kLeapThresholds); ++k) {
    if (kLeapThresholds[k] < gps_seconds) count = static_cast<int8_t>(k + 1);
  }
  return count;
}

int8_t GetLeapCount(QdxReader* reader, int64_t first_epoch_ms) {
  auto block = std::make_unique<uint8_t[]>(kQdxMaxBlockSize + 1);
  const int64_t start = QdxTell(reader);
  bool found = false;
  int8_t count = kUnknown;
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
