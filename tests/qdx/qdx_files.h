// Files of QDX blocks for the reader and decoder tests, and an independent CRC.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "qdx/encode/qdx_writer.h"
#include "support/scoped_dir.h"

namespace kavrino::test {

using Bytes = std::vector<uint8_t>;

// Bit-at-a-time CRC-16/XMODEM, independent of the table-driven one under test.
inline uint16_t BitwiseCrc16(const uint8_t* bytes, size_t count) {
  uint16_t crc = 0;
  for (size_t i = 0; i < count; ++i) {
    crc ^= static_cast<uint16_t>(bytes[i] << 8);
    for (int bit = 0; bit < 8; ++bit) {
      crc = static_cast<uint16_t>((crc & 0x8000) ? (crc << 1) ^ 0x1021 : crc << 1);
    }
  }
  return crc;
}

inline Bytes Concat(std::initializer_list<Bytes> parts) {
  Bytes out;
  for (const Bytes& part : parts) out.insert(out.end(), part.begin(), part.end());
  return out;
}

// A file holding `image`, removed with its folder.
struct TempQdxFile {
  ScopedTempDir dir{"qdx"};
  std::string path = dir / "in.qdx";
  explicit TempQdxFile(const Bytes& image) { EXPECT_TRUE(WriteFileBytes(path, image)); }
};

}  // namespace kavrino::test
