// The block reader against a byte-by-byte model of its search: every call must
// return exactly the blocks (and end positions) that the model finds, whatever
// the filter and mode.
#pragma once
#include <cstring>
#include <memory>

#include "fuzz_support.h"
#include "qdx/reader.h"

namespace kavrino::fuzz::detail_reader {

using kavrino::QdxCrc16;

// Length of the CRC-valid block starting at p, or 0.
inline size_t BlockAt(const uint8_t* f, size_t n, size_t p) {
  if (n - p < 8 || f[p] != 0x24 || f[p + 1] != 0x40) return 0;
  const size_t length = f[p + 6] | (f[p + 7] << 8);
  if (length < 16 || length > n - p) return 0;
  const uint16_t crc = static_cast<uint16_t>(f[p + 2] | (f[p + 3] << 8));
  return QdxCrc16(f + p + 4, length - 4) == crc ? length : 0;
}

}  // namespace kavrino::fuzz::detail_reader

namespace kavrino::fuzz {

// Runs one input; aborts when a check fails.
inline int FuzzReader(const uint8_t* data, size_t size) {
  using namespace detail_reader;
  if (size < 1) return 0;
  const uint8_t control = data[0];
  std::vector<uint8_t> file(data + 1, data + size);
  if (control & 1) kavrino::fuzz::RepairFrames(&file);
  const std::string path = kavrino::fuzz::WriteInput(file.data(), file.size());
  const uint8_t* f = file.data();
  const size_t n = file.size();

  static auto reader = std::make_unique<kavrino::QdxReader>();
  static auto buffer = std::make_unique<uint8_t[]>(kavrino::kQdxMaxBlockSize);
  kavrino::InitQdxReader(path.c_str(), reader.get());

  // Filters and modes cycle with the control byte: walk everything, peek then
  // walk, or look for the numbers of the first two blocks in the file.
  uint16_t first = 65535, second = 65535;
  if (control & 2) {
    first = n >= 6 ? static_cast<uint16_t>((f[4] | (f[5] << 8)) & 0x1FFF) : 5902;
    second = static_cast<uint16_t>(control & 4 ? first : 5894);
  }
  const bool peek_first = control & 8;
  size_t pos = 0;
  for (int calls = 0; calls < 100000; ++calls) {
    // The model: the next accepted block from pos.
    size_t found = n, after = n;
    for (size_t p = pos; p < n;) {
      const size_t length = BlockAt(f, n, p);
      if (length == 0) {
        ++p;
        continue;
      }
      const uint16_t number = static_cast<uint16_t>((f[p + 4] | (f[p + 5] << 8)) & 0x1FFF);
      if (first == 65535 || second == 65535 || number == first || number == second) {
        found = p;
        after = p + length;
        break;
      }
      p += length;
    }
    if (peek_first) {
      const int peek = kavrino::GetNextQdxBlock(reader.get(), buffer.get(), first, second,
                                                kavrino::kQdxModePeek);
      if ((peek == 0) != (found < n)) std::abort();
      if (kavrino::QdxTell(reader.get()) != static_cast<int64_t>(pos)) std::abort();
    }
    const int got =
        kavrino::GetNextQdxBlock(reader.get(), buffer.get(), first, second, kavrino::kQdxModeWalk);
    if (found == n) {
      if (got != -1 || kavrino::QdxTell(reader.get()) != static_cast<int64_t>(pos)) std::abort();
      break;
    }
    if (got != 0 || kavrino::QdxTell(reader.get()) != static_cast<int64_t>(after)) std::abort();
    if (std::memcmp(buffer.get(), f + found, after - found) != 0) std::abort();
    pos = after;
  }
  kavrino::CloseQdxReader(reader.get());
  return 0;
}

}  // namespace kavrino::fuzz
