#include "qdx/decode/position_fix.h"

#include "qdx/block.h"
#include "qdx/block_numbers.h"

namespace kavrino {
namespace {

constexpr size_t kVelocityOffset = 44;  // three f32, in every form
constexpr size_t kVelocityEnd = kVelocityOffset + 12;

}  // namespace

bool DecodePositionFix(const uint8_t* block, PositionFix* fix) {
  const uint16_t number = QdxBlockNumber(block);
  if (!IsPositionFixBlockNumber(number)) return false;
  const size_t offset = (number == kCartesianFixBlock || number == kGeodeticFixBlock) ? 16 : 20;
  const size_t length = QdxBlockLength(block);
  if (length < offset + 24) return false;
  fix->geodetic = number == kGeodeticFixBlock || number == kGeodeticFix2Block;
  for (int i = 0; i < 3; ++i) fix->coords[i] = ReadF64(block + offset + 8 * i);
  fix->has_velocity = length >= kVelocityEnd;
  for (int i = 0; i < 3; ++i) {
    fix->velocity[i] = fix->has_velocity ? ReadF32(block + kVelocityOffset + 4 * i) : 0.0f;
  }
  return true;
}

}  // namespace kavrino
