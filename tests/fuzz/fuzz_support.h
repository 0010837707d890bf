// Shared by the fuzz harnesses: the input file in a scratch folder of the
// process (under TMPDIR, removed at exit), and frame repair, so that mutated
// block contents still pass the CRC check.
#pragma once

#include <cstdlib>
#include <string>
#include <vector>

#include "qdx/block.h"
#include "support/scoped_dir.h"

namespace kavrino::fuzz {

inline const std::string& ScratchDir() {
  static const test::ScopedTempDir dir("fuzz");
  if (dir.path().empty()) std::abort();
  return dir.path();
}

// Writes the bytes to the input file of this process and returns its path.
inline std::string WriteInput(const std::vector<uint8_t>& bytes) {
  const std::string path = ScratchDir() + "/input.qdx";
  if (!test::WriteFileBytes(path, bytes)) std::abort();
  return path;
}

// Gives every frame found by a greedy scan ("$@", a length of at least 16 that
// fits) a correct CRC, so that the fuzzer's changes inside blocks reach the
// decoders instead of being dropped by the CRC check.
inline void RepairFrames(std::vector<uint8_t>* bytes) {
  std::vector<uint8_t>& b = *bytes;
  for (size_t i = 0; i + 8 <= b.size();) {
    const size_t length = b[i + 6] | (b[i + 7] << 8);
    if (b[i] != 0x24 || b[i + 1] != 0x40 || length < kQdxMinBlockLength || length > b.size() - i) {
      ++i;
      continue;
    }
    const uint16_t crc = QdxCrc16(&b[i + 4], length - 4);
    b[i + 2] = static_cast<uint8_t>(crc);
    b[i + 3] = static_cast<uint8_t>(crc >> 8);
    i += length;
  }
}

}  // namespace kavrino::fuzz
