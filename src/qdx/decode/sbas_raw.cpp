#include "qdx/decode/sbas_raw.h"

#include "qdx/block.h"
#include "qdx/block_numbers.h"

namespace kavrino {
namespace {

constexpr size_t kSatelliteOffset = 14;
constexpr size_t kCrcPassedOffset = 15;
constexpr size_t kWordsOffset = 20;        // SbasRawL1, SbasRawL5
constexpr size_t kLegacyWordsOffset = 16;  // SbasRawLegacy

}  // namespace

bool DecodeSbasRawMessage(const uint8_t* block, SbasRawMessage* message) {
  const uint16_t number = QdxBlockNumber(block);
  if (number != kSbasRawL1Block && number != kSbasRawL5Block && number != kSbasRawLegacyBlock) {
    return false;
  }
  const bool legacy = number == kSbasRawLegacyBlock;
  const size_t offset = legacy ? kLegacyWordsOffset : kWordsOffset;
  if (QdxBlockLength(block) < offset + 4 * kSbasMessageWords) return false;
  message->legacy = legacy;
  message->l5 = number == kSbasRawL5Block;
  message->svid = block[kSatelliteOffset];
  message->crc_passed = !legacy && block[kCrcPassedOffset] != 0;
  for (int i = 0; i < kSbasMessageWords; ++i) message->words[i] = ReadU32(block + offset + 4 * i);
  return true;
}

}  // namespace kavrino
