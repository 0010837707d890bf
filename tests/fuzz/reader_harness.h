// The block reader against a byte-by-byte model of its search: every call must
// return exactly the blocks (and end positions) that the model finds, whatever
// the filter and mode.
#pragma once

#include <cstring>
#include <memory>

#include "fuzz_support.h"
#include "qdx/reader.h"

namespace kavrino::fuzz {

// Length of the CRC-valid block starting at p of the n bytes f, or 0.
inline size_t ModelBlockAt(const uint8_t* f, size_t n, size_t p) {
  if (n - p < 8 || f[p] != 0x24 || f[p + 1] != 0x40) return 0;
  const size_t length = f[p + 6] | (f[p + 7] << 8);
  if (length < 16 || length > n - p) return 0;
  return QdxCrc16(f + p + 4, length - 4) == (f[p + 2] | (f[p + 3] << 8)) ? length : 0;
}

// Runs one input; aborts when a check fails. The first byte chooses: bit 0
// repairs the frames, bit 1 looks for the numbers of the first block and
// (bit 2) itself or 5894 instead of every block, bit 3 peeks before each walk.
inline int FuzzReader(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  const uint8_t control = data[0];
  std::vector<uint8_t> file(data + 1, data + size);
  if (control & 1) RepairFrames(&file);
  const uint8_t* f = file.data();
  const size_t n = file.size();
  static auto reader = std::make_unique<QdxReader>();
  static auto buffer = std::make_unique<uint8_t[]>(kQdxMaxBlockSize);
  InitQdxReader(WriteInput(file).c_str(), reader.get());
  uint16_t first = kQdxAnyBlock, second = kQdxAnyBlock;
  if (control & 2) {
    first = n >= 6 ? static_cast<uint16_t>((f[4] | (f[5] << 8)) & 0x1FFF) : 5902;
    second = control & 4 ? first : 5894;
  }
  size_t pos = 0;
  for (int calls = 0; calls < 100000; ++calls) {
    // The model: the next accepted block from pos.
    size_t found = n, after = n;
    for (size_t p = pos, length = 0; p < n && found == n; p += length ? length : 1) {
      length = ModelBlockAt(f, n, p);
      const uint16_t number = length ? (f[p + 4] | (f[p + 5] << 8)) & 0x1FFF : 0;
      if (length && (first == kQdxAnyBlock || number == first || number == second)) {
        found = p;
        after = p + length;
      }
    }
    if (control & 8) {
      const int peek = GetNextQdxBlock(reader.get(), buffer.get(), first, second, kQdxModePeek);
      if ((peek == 0) != (found < n) || QdxTell(reader.get()) != static_cast<int64_t>(pos))
        std::abort();
    }
    const int got = GetNextQdxBlock(reader.get(), buffer.get(), first, second, kQdxModeWalk);
    if (got != (found < n ? 0 : -1) ||
        QdxTell(reader.get()) != static_cast<int64_t>(found < n ? after : pos))
      std::abort();
    if (found == n) break;
    if (std::memcmp(buffer.get(), f + found, after - found) != 0) std::abort();
    pos = after;
  }
  CloseQdxReader(reader.get());
  return 0;
}

}  // namespace kavrino::fuzz
