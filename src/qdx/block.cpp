#include "qdx/block.h"

#include <array>

namespace kavrino {
namespace {

constexpr std::array<uint16_t, 256> MakeCrcTable() {
  std::array<uint16_t, 256> table{};
  for (int i = 0; i < 256; ++i) {
    uint16_t crc = static_cast<uint16_t>(i << 8);
    for (int bit = 0; bit < 8; ++bit) {
      crc = (crc & 0x8000) ? static_cast<uint16_t>((crc << 1) ^ 0x1021)
                           : static_cast<uint16_t>(crc << 1);
    }
    table[i] = crc;
  }
  return table;
}

constexpr std::array<uint16_t, 256> kCrcTable = MakeCrcTable();

}  // namespace

bool IsQdxTimeValid(const uint8_t* block) {
  return QdxBlockTow(block) != kQdxTowUnknown && QdxBlockWeek(block) != kQdxWeekUnknown;
}

uint16_t QdxCrc16(const uint8_t* bytes, size_t count) {
  uint16_t crc = 0;
  for (size_t i = 0; i < count; ++i) {
    crc = static_cast<uint16_t>((crc << 8) ^ kCrcTable[((crc >> 8) ^ bytes[i]) & 0xFF]);
  }
  return crc;
}

bool IsQdxCrcValid(const uint8_t* block) {
  uint16_t length = QdxBlockLength(block);
  if (length < 4) return false;
  return QdxCrc16(block + 4, length - 4u) == QdxBlockCrc(block);
}

}  // namespace kavrino
