#include "qdx/block.h"

#include <array>
#include <cstring>

#if defined(__x86_64__)
#include <immintrin.h>
#endif

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

namespace {

uint32_t CrcSliced(uint32_t crc, const uint8_t* bytes, size_t count) {
  const auto& t = kCrcTables;
  for (; count >= 16; count -= 16, bytes += 16) {
    crc = t[15][bytes[0] ^ (crc >> 8)] ^ t[14][bytes[1] ^ (crc & 0xFF)] ^ t[13][bytes[2]] ^
          t[12][bytes[3]] ^ t[11][bytes[4]] ^ t[10][bytes[5]] ^ t[9][bytes[6]] ^ t[8][bytes[7]] ^
          t[7][bytes[8]] ^ t[6][bytes[9]] ^ t[5][bytes[10]] ^ t[4][bytes[11]] ^ t[3][bytes[12]] ^
          t[2][bytes[13]] ^ t[1][bytes[14]] ^ t[0][bytes[15]];
  }
  for (; count > 0; --count, ++bytes) {
    crc = ((crc << 8) ^ t[0][(crc >> 8) ^ *bytes]) & 0xFFFF;
  }
  return crc;
}

#if defined(__x86_64__)

// x^n mod the CRC polynomial (x^16 + x^12 + x^5 + 1).
constexpr uint64_t PowerMod(int n) {
  uint32_t r = 1;
  for (int i = 0; i < n; ++i) {
    r <<= 1;
    if (r & 0x10000) r ^= 0x11021;
  }
  return r;
}

// Carry-less folding: the bytes, read as one big-endian polynomial, are folded
// 16 bytes at a time into a 128-bit value congruent to them modulo the
// polynomial. Two byte strings of equal length that are congruent have the same
// CRC, so the table finishes the job over the folded 16 bytes and the tail.
#define KAVRINO_CLMUL __attribute__((target("pclmul,ssse3")))

KAVRINO_CLMUL inline __m128i LoadBigEndian(const uint8_t* p) {
  const __m128i reverse = _mm_set_epi8(0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15);
  return _mm_shuffle_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p)), reverse);
}

// a * x^distance + next, kept to 128 bits: k holds x^(distance + 64) and
// x^distance modulo the polynomial for the high and the low half of a.
KAVRINO_CLMUL inline __m128i Fold(__m128i a, __m128i k, __m128i next) {
  const __m128i high = _mm_clmulepi64_si128(a, k, 0x11);
  const __m128i low = _mm_clmulepi64_si128(a, k, 0x00);
  return _mm_xor_si128(_mm_xor_si128(high, low), next);
}

KAVRINO_CLMUL uint32_t CrcFolded(const uint8_t* bytes, size_t count) {
  const __m128i reverse = _mm_set_epi8(0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15);
  // Four accumulators 64 bytes apart hide the multiplier latency.
  const __m128i k512 = _mm_set_epi64x(PowerMod(512 + 64), PowerMod(512));
  const __m128i k128 = _mm_set_epi64x(PowerMod(128 + 64), PowerMod(128));
  __m128i a0 = LoadBigEndian(bytes), a1 = LoadBigEndian(bytes + 16), a2 = LoadBigEndian(bytes + 32),
          a3 = LoadBigEndian(bytes + 48);
  bytes += 64;
  count -= 64;
  for (; count >= 64; count -= 64, bytes += 64) {
    a0 = Fold(a0, k512, LoadBigEndian(bytes));
    a1 = Fold(a1, k512, LoadBigEndian(bytes + 16));
    a2 = Fold(a2, k512, LoadBigEndian(bytes + 32));
    a3 = Fold(a3, k512, LoadBigEndian(bytes + 48));
  }
  __m128i a = Fold(Fold(Fold(a0, k128, a1), k128, a2), k128, a3);
  for (; count >= 16; count -= 16, bytes += 16) a = Fold(a, k128, LoadBigEndian(bytes));
  alignas(16) uint8_t folded[16];
  _mm_store_si128(reinterpret_cast<__m128i*>(folded), _mm_shuffle_epi8(a, reverse));
  return CrcSliced(CrcSliced(0, folded, 16), bytes, count);
}

bool HasClmul() {
  static const bool has = [] {
    __builtin_cpu_init();
    return __builtin_cpu_supports("pclmul") && __builtin_cpu_supports("ssse3");
  }();
  return has;
}

#endif

}  // namespace

uint16_t QdxCrc16(const uint8_t* bytes, size_t count) {
#if defined(__x86_64__)
  if (count >= 128 && HasClmul()) return static_cast<uint16_t>(CrcFolded(bytes, count));
#endif
  return static_cast<uint16_t>(CrcSliced(0, bytes, count));
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
