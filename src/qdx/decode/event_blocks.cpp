#include "qdx/decode/event_blocks.h"

#include "qdx/block.h"

namespace kavrino {

bool DecodeExternalEvent(const uint8_t* block, ExternalEvent* event) {
  if (QdxBlockLength(block) < 20) return false;
  event->source = block[14];
  event->seconds_of_week = QdxBlockTow(block) * 0.001 + ReadF32(block + 16);
  return true;
}

bool DecodeItemCollected(const uint8_t* block, uint64_t* item) {
  if (QdxBlockLength(block) < 25 || block[24] != 0) return false;
  *item = (static_cast<uint64_t>(ReadU32(block + 16)) << 32) | ReadU32(block + 20);
  return true;
}

}  // namespace kavrino
