// Bit-at-a-time CRC-16/XMODEM, independent of the table-driven one under test.
#pragma once

#include <cstddef>
#include <cstdint>

namespace kavrino::test {

inline uint16_t BitwiseCrc16(const uint8_t* bytes, size_t count) {
  uint16_t crc = 0;
  for (size_t i = 0; i < count; ++i) {
    crc ^= static_cast<uint16_t>(bytes[i] << 8);
    for (int bit = 0; bit < 8; ++bit) {
      crc = (crc & 0x8000) ? static_cast<uint16_t>((crc << 1) ^ 0x1021)
                           : static_cast<uint16_t>(crc << 1);
    }
  }
  return crc;
}

}  // namespace kavrino::test
