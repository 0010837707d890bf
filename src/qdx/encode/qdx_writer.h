// Test support: builds QDX blocks and files byte by byte.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace kavrino::test {

// One block under construction. Offsets are from the first sync byte, as in the
// block layouts; the body grows as fields are set beyond its current end.
struct QdxBlockWriter {
  std::vector<uint8_t> bytes;

  // A block with the given number, revision, time stamp and total length
  // (header included; at least 16). Body bytes start at zero.
  QdxBlockWriter(uint16_t number, uint8_t revision, uint32_t tow_ms, uint16_t week,
                 size_t length = 16);

  QdxBlockWriter& U8(size_t offset, uint8_t value);
  QdxBlockWriter& U16(size_t offset, uint16_t value);
  QdxBlockWriter& U32(size_t offset, uint32_t value);
  QdxBlockWriter& U64(size_t offset, uint64_t value);
  QdxBlockWriter& I8(size_t offset, int8_t value) {
    return U8(offset, static_cast<uint8_t>(value));
  }
  QdxBlockWriter& I16(size_t offset, int16_t value) {
    return U16(offset, static_cast<uint16_t>(value));
  }
  QdxBlockWriter& I32(size_t offset, int32_t value) {
    return U32(offset, static_cast<uint32_t>(value));
  }
  QdxBlockWriter& F32(size_t offset, float value);
  QdxBlockWriter& F64(size_t offset, double value);
  // Copies text into a field of `width` bytes, zero-padded (not terminated when full).
  QdxBlockWriter& Text(size_t offset, const std::string& text, size_t width);
  QdxBlockWriter& Bytes(size_t offset, const std::vector<uint8_t>& data);
  // Grows (zero-filled) or cuts the block to `length` bytes.
  QdxBlockWriter& Resize(size_t length);

  // The finished block: length field and CRC filled in.
  std::vector<uint8_t> Finish() const;
};

// Appends a finished block (or raw bytes) to a file image.
void Append(std::vector<uint8_t>* file, const std::vector<uint8_t>& bytes);
void Append(std::vector<uint8_t>* file, const QdxBlockWriter& block);

// Writes bytes to a file; returns false on failure.
bool WriteFileBytes(const std::string& path, const std::vector<uint8_t>& bytes);
std::string ReadFileText(const std::string& path);

// A fresh, empty directory for a test (under the system temp directory).
std::string MakeTempDir(const std::string& tag);

}  // namespace kavrino::test
