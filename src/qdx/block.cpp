#include "qdx/block.h"

#include <array>
#include <cstring>

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

// Slice k holds the CRC contribution of a byte followed by k zero bytes, so that
// sixteen bytes are folded in per step with independent table look-ups.
constexpr int kCrcSlices = 16;
using CrcSliceTables = std::array<std::array<uint16_t, 256>, kCrcSlices>;

constexpr CrcSliceTables MakeCrcSliceTables() {
  CrcSliceTables tables{};
  tables[0] = MakeCrcTable();
  for (int k = 1; k < kCrcSlices; ++k) {
    for (int b = 0; b < 256; ++b) {
      uint16_t prev = tables[k - 1][b];
      tables[k][b] = static_cast<uint16_t>((prev << 8) ^ tables[0][prev >> 8]);
    }
  }
  return tables;
}

constexpr CrcSliceTables kCrcTables = MakeCrcSliceTables();

}  // namespace

bool IsQdxTimeValid(const uint8_t* block) {
  return QdxBlockTow(block) != kQdxTowUnknown && QdxBlockWeek(block) != kQdxWeekUnknown;
}

uint16_t QdxCrc16(const uint8_t* bytes, size_t count) {
  const auto& t = kCrcTables;
  uint32_t crc = 0;
  for (; count >= 16; count -= 16, bytes += 16) {
    crc = t[15][bytes[0] ^ (crc >> 8)] ^ t[14][bytes[1] ^ (crc & 0xFF)] ^ t[13][bytes[2]] ^
          t[12][bytes[3]] ^ t[11][bytes[4]] ^ t[10][bytes[5]] ^ t[9][bytes[6]] ^ t[8][bytes[7]] ^
          t[7][bytes[8]] ^ t[6][bytes[9]] ^ t[5][bytes[10]] ^ t[4][bytes[11]] ^ t[3][bytes[12]] ^
          t[2][bytes[13]] ^ t[1][bytes[14]] ^ t[0][bytes[15]];
  }
  for (; count > 0; --count, ++bytes) {
    crc = ((crc << 8) ^ t[0][(crc >> 8) ^ *bytes]) & 0xFFFF;
  }
  return static_cast<uint16_t>(crc);
}

bool IsQdxCrcValid(const uint8_t* block) {
  uint16_t length = QdxBlockLength(block);
  if (length < 4) return false;
  return QdxCrc16(block + 4, length - 4u) == QdxBlockCrc(block);
}

bool ResizeQdxSubBlocks(uint8_t* block, size_t capacity, uint32_t count, uint32_t old_size,
                        uint32_t new_size) {
  if (capacity < kQdxHeaderSize) return false;
  const uint64_t length = QdxBlockLength(block);
  const uint64_t old_bytes = uint64_t{count} * old_size;
  const uint64_t new_bytes = uint64_t{count} * new_size;
  // The array must follow the block header and the resized block fit the buffer.
  if (length > capacity || length < kQdxHeaderSize || old_bytes > length - kQdxHeaderSize) {
    return false;
  }
  const uint64_t first = length - old_bytes;  // the first element does not move
  if (first + new_bytes > capacity) return false;
  if (count == 0 || old_size == new_size) return true;

  uint8_t* array = block + first;
  if (new_size < old_size) {
    for (uint64_t k = 1; k < count; ++k) {
      std::memmove(array + k * new_size, array + k * old_size, new_size);
    }
  } else {
    // From the last element to the first, so that none is overwritten unmoved.
    for (uint64_t k = count; k-- > 0;) {
      std::memmove(array + k * new_size, array + k * old_size, old_size);
      std::memset(array + k * new_size + old_size, 0, new_size - old_size);
    }
  }
  return true;
}

}  // namespace kavrino
