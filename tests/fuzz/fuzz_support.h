// Shared by the fuzz targets: input files on a memory-backed temp directory and
// frame repair, so that mutated block contents still pass the CRC check.
#pragma once

#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "qdx/block.h"

namespace kavrino::fuzz {

// A private directory for this process, created once (memory-backed when /dev/shm exists).
inline const std::string& ScratchDir() {
  // Never destroyed: the exit handler that removes the directory still needs it.
  static const std::string* const dir = [] {
    std::string base = access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp";
    std::string templ = base + "/kavrino_fuzz_XXXXXX";
    std::vector<char> name(templ.begin(), templ.end());
    name.push_back('\0');
    if (mkdtemp(name.data()) == nullptr) std::abort();
    return new std::string(name.data());
  }();
  static const bool cleanup = std::atexit([] {
                                std::error_code ignored;
                                std::filesystem::remove_all(*dir, ignored);
                              }) == 0;
  (void)cleanup;
  return *dir;
}

// Writes the bytes to the input file of this process and returns its path.
inline std::string WriteInput(const uint8_t* data, size_t size) {
  std::string path = ScratchDir() + "/input.qdx";
  std::FILE* f = std::fopen(path.c_str(), "wb");
  if (f == nullptr) std::abort();
  if (size != 0 && std::fwrite(data, 1, size, f) != size) std::abort();
  if (std::fclose(f) != 0) std::abort();
  return path;
}

// Gives every frame found by a greedy scan ("$@", a length of at least 16 that
// fits) a correct CRC, so that the fuzzer's changes inside blocks reach the
// decoders instead of being dropped by the CRC check.
inline void RepairFrames(std::vector<uint8_t>* bytes) {
  std::vector<uint8_t>& b = *bytes;
  size_t i = 0;
  while (i + 8 <= b.size()) {
    const size_t length = b[i + 6] | (b[i + 7] << 8);
    if (b[i] == 0x24 && b[i + 1] == 0x40 && length >= kQdxMinBlockLength &&
        length <= b.size() - i) {
      const uint16_t crc = QdxCrc16(&b[i + 4], length - 4);
      b[i + 2] = static_cast<uint8_t>(crc);
      b[i + 3] = static_cast<uint8_t>(crc >> 8);
      i += length;
    } else {
      ++i;
    }
  }
}

}  // namespace kavrino::fuzz
