// QDX block framing: header fields, little-endian field access, CRC and time stamp.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace kavrino {

inline constexpr size_t kQdxMaxBlockSize = 65535;  // every block buffer holds at least this
inline constexpr size_t kQdxHeaderSize = 14;       // sync, crc, id, length, tow_ms, week
inline constexpr uint16_t kQdxMinBlockLength = 16;
inline constexpr uint16_t kQdxAnyBlock = 65535;
inline constexpr uint32_t kQdxTowUnknown = 0xFFFFFFFFu;
inline constexpr uint16_t kQdxWeekUnknown = 0xFFFF;

inline uint16_t ReadU16(const uint8_t* p) {
  return static_cast<uint16_t>(p[0] | (p[1] << 8));
}
inline uint32_t ReadU32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
         (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}
inline uint64_t ReadU64(const uint8_t* p) {
  return static_cast<uint64_t>(ReadU32(p)) | (static_cast<uint64_t>(ReadU32(p + 4)) << 32);
}
inline int8_t ReadI8(const uint8_t* p) {
  return static_cast<int8_t>(p[0]);
}
inline int16_t ReadI16(const uint8_t* p) {
  return static_cast<int16_t>(ReadU16(p));
}
inline int32_t ReadI32(const uint8_t* p) {
  return static_cast<int32_t>(ReadU32(p));
}
inline float ReadF32(const uint8_t* p) {
  uint32_t bits = ReadU32(p);
  float value;
  std::memcpy(&value, &bits, sizeof value);
  return value;
}
inline double ReadF64(const uint8_t* p) {
  uint64_t bits = ReadU64(p);
  double value;
  std::memcpy(&value, &bits, sizeof value);
  return value;
}

// Header fields of a block that starts at `block` (its first sync byte).
inline uint16_t QdxBlockCrc(const uint8_t* block) {
  return ReadU16(block + 2);
}
inline uint16_t QdxBlockId(const uint8_t* block) {
  return ReadU16(block + 4);
}  // with revision
inline uint16_t QdxBlockNumber(const uint8_t* block) {
  return QdxBlockId(block) & 0x1FFF;
}
inline uint16_t QdxBlockRevision(const uint8_t* block) {
  return QdxBlockId(block) >> 13;
}
inline uint16_t QdxBlockLength(const uint8_t* block) {
  return ReadU16(block + 6);
}
inline uint32_t QdxBlockTow(const uint8_t* block) {
  return ReadU32(block + 8);
}
inline uint16_t QdxBlockWeek(const uint8_t* block) {
  return ReadU16(block + 12);
}

// Block time: ms since the GPS epoch, whether or not the stamp is valid.
inline int64_t QdxBlockTimeMs(const uint8_t* block) {
  return static_cast<int64_t>(QdxBlockWeek(block)) * 604800000LL + QdxBlockTow(block);
}

bool IsQdxTimeValid(const uint8_t* block);

// CRC-16/XMODEM (polynomial 0x1021, initial value 0, no reflection, no final xor).
uint16_t QdxCrc16(const uint8_t* bytes, size_t count);
// Compares the CRC over bytes 4 .. length-1 with the crc field.
bool IsQdxCrcValid(const uint8_t* block);

// Changes the element size of the block's trailing array of `count` sub-blocks
// from old_size to new_size in place (the length field is not changed). The
// block lies in a buffer of `capacity` bytes; returns false, changing nothing,
// when the array does not lie inside the block or the grown array would not fit
// in the buffer.
bool ResizeQdxSubBlocks(uint8_t* block, size_t capacity, uint32_t count, uint32_t old_size,
                        uint32_t new_size);

}  // namespace kavrino
