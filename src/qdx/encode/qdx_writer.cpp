#include "qdx/encode/qdx_writer.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "qdx/block.h"

namespace kavrino::test {

QdxBlockWriter::QdxBlockWriter(uint16_t number, uint8_t revision, uint32_t tow_ms, uint16_t week,
                               size_t length)
    : bytes(length < 16 ? 16 : length, 0) {
  bytes[0] = '$';
  bytes[1] = '@';
  U16(4, static_cast<uint16_t>((number & 0x1FFF) | ((revision & 7) << 13)));
  U32(8, tow_ms);
  U16(12, week);
}

QdxBlockWriter& QdxBlockWriter::U8(size_t offset, uint8_t value) {
  if (offset >= bytes.size()) bytes.resize(offset + 1, 0);
  bytes[offset] = value;
  return *this;
}

QdxBlockWriter& QdxBlockWriter::U16(size_t offset, uint16_t value) {
  U8(offset, value & 0xFF);
  return U8(offset + 1, value >> 8);
}

QdxBlockWriter& QdxBlockWriter::U32(size_t offset, uint32_t value) {
  U16(offset, value & 0xFFFF);
  return U16(offset + 2, value >> 16);
}

QdxBlockWriter& QdxBlockWriter::U64(size_t offset, uint64_t value) {
  U32(offset, static_cast<uint32_t>(value));
  return U32(offset + 4, static_cast<uint32_t>(value >> 32));
}

QdxBlockWriter& QdxBlockWriter::F32(size_t offset, float value) {
  uint32_t bits;
  std::memcpy(&bits, &value, sizeof bits);
  return U32(offset, bits);
}

QdxBlockWriter& QdxBlockWriter::F64(size_t offset, double value) {
  uint64_t bits;
  std::memcpy(&bits, &value, sizeof bits);
  return U64(offset, bits);
}

QdxBlockWriter& QdxBlockWriter::Text(size_t offset, const std::string& text, size_t width) {
  for (size_t i = 0; i < width; ++i) U8(offset + i, i < text.size() ? text[i] : 0);
  return *this;
}

QdxBlockWriter& QdxBlockWriter::Bytes(size_t offset, const std::vector<uint8_t>& data) {
  for (size_t i = 0; i < data.size(); ++i) U8(offset + i, data[i]);
  return *this;
}

QdxBlockWriter& QdxBlockWriter::Resize(size_t length) {
  bytes.resize(length, 0);
  return *this;
}

std::vector<uint8_t> QdxBlockWriter::Finish() const {
  std::vector<uint8_t> out = bytes;
  size_t length = out.size();
  out[6] = length & 0xFF;
  out[7] = (length >> 8) & 0xFF;
  uint16_t crc = QdxCrc16(out.data() + 4, length - 4);
  out[2] = crc & 0xFF;
  out[3] = crc >> 8;
  return out;
}

void Append(std::vector<uint8_t>* file, const std::vector<uint8_t>& bytes) {
  file->insert(file->end(), bytes.begin(), bytes.end());
}

void Append(std::vector<uint8_t>* file, const QdxBlockWriter& block) {
  Append(file, block.Finish());
}

bool WriteFileBytes(const std::string& path, const std::vector<uint8_t>& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()),
            static_cast<std::streamsize>(bytes.size()));
  return static_cast<bool>(out);
}

std::string ReadFileText(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

std::string MakeTempDir(const std::string& tag) {
  std::string pattern =
      (std::filesystem::temp_directory_path() / ("kavrino_" + tag + "_XXXXXX")).string();
  std::vector<char> buffer(pattern.begin(), pattern.end());
  buffer.push_back('\0');
  if (mkdtemp(buffer.data()) == nullptr) return std::string();
  return std::string(buffer.data());
}

}  // namespace kavrino::test
