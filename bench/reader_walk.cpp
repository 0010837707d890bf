// Walks every block of a QDX file and reports the speed and the peak memory.
//
//   bench_reader_walk FILE [PASSES] [--peek]   walk FILE (with --peek, look
//                                              ahead after every block as the
//                                              measurement decoder does)
//   bench_reader_walk --make FILE MIB          write about MIB MiB of typical blocks
#include <sys/resource.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

#include "qdx/block.h"
#include "qdx/reader.h"

namespace {

using kavrino::kQdxAnyBlock;

uint64_t Next(uint64_t* state) {  // splitmix64
  uint64_t z = (*state += 0x9E3779B97F4A7C15ull);
  z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
  z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
  return z ^ (z >> 31);
}

size_t PutBlock(uint8_t* out, uint16_t number, size_t length, uint32_t tow, uint16_t week,
                uint64_t* rng) {
  std::memset(out, 0, 14);
  out[0] = '$';
  out[1] = '@';
  out[4] = number & 0xFF;
  out[5] = static_cast<uint8_t>(number >> 8);
  out[6] = length & 0xFF;
  out[7] = static_cast<uint8_t>(length >> 8);
  std::memcpy(out + 8, &tow, 4);
  std::memcpy(out + 12, &week, 2);
  for (size_t i = 14; i < length; i += 8) {
    uint64_t v = Next(rng);
    std::memcpy(out + i, &v, length - i < 8 ? length - i : 8);
  }
  uint16_t crc = kavrino::QdxCrc16(out + 4, length - 4);
  out[2] = crc & 0xFF;
  out[3] = static_cast<uint8_t>(crc >> 8);
  return length;
}

// One second of receiver output per epoch: measurement blocks of 1-3 KB, a few
// small blocks, now and then an ephemeris, a comment, a damaged block or noise.
int MakeFile(const char* path, long mib) {
  FILE* file = std::fopen(path, "wb");
  if (file == nullptr) {
    std::perror(path);
    return 1;
  }
  const uint64_t target = static_cast<uint64_t>(mib) << 20;
  std::vector<uint8_t> chunk(1 << 20);
  uint64_t rng = 12345, written = 0;
  uint32_t tow = 0;
  while (written < target) {
    size_t used = 0;
    while (used + 65536 < chunk.size()) {
      uint8_t* out = chunk.data() + used;
      const uint64_t r = Next(&rng);
      uint16_t week = 2300;
      size_t size = 0;
      switch (r % 16) {
        case 0:
        case 1:
        case 2:
        case 3:
        case 4:
        case 5:
        case 6:
          size = PutBlock(out, 4027, 1000 + (r >> 8) % 2000, tow, week, &rng);
          break;
        case 7:
        case 8:
          size = PutBlock(out, 4098, 600 + (r >> 8) % 800, tow, week, &rng);
          break;
        case 9:
        case 10:
          size = PutBlock(out, 4006, 88, tow, week, &rng);
          break;
        case 11:
          size = PutBlock(out, 5891, 140, tow, week, &rng);
          break;
        case 12:
          size = PutBlock(out, 5936, 60 + (r >> 8) % 120, tow, week, &rng);
          break;
        case 13:
          size = PutBlock(out, 4075, 40 + (r >> 8) % 80, tow, week, &rng);
          break;
        case 14:
          size = PutBlock(out, 4000, 200 + (r >> 8) % 400, tow, week, &rng);
          if ((r >> 40) % 8 == 0) out[20] ^= 0xFF;  // damaged in transmission
          break;
        default:
          if ((r >> 40) % 4 == 0) {  // noise between blocks
            size = 1 + (r >> 8) % 64;
            for (size_t i = 0; i < size; ++i) out[i] = static_cast<uint8_t>(Next(&rng));
          } else {
            size = PutBlock(out, 4027, 1000 + (r >> 8) % 2000, tow, week, &rng);
          }
          tow += 1000;
      }
      used += size;
    }
    if (std::fwrite(chunk.data(), 1, used, file) != used) {
      std::perror(path);
      std::fclose(file);
      return 1;
    }
    written += used;
  }
  if (std::fclose(file) != 0) {
    std::perror(path);
    return 1;
  }
  std::printf("wrote %llu bytes to %s\n", static_cast<unsigned long long>(written), path);
  return 0;
}

int Walk(const char* path, int passes, bool peek) {
  auto reader = std::make_unique<kavrino::QdxReader>();
  auto block = std::make_unique<uint8_t[]>(kavrino::kQdxMaxBlockSize);
  auto ahead = std::make_unique<uint8_t[]>(kavrino::kQdxMaxBlockSize);
  kavrino::InitQdxReader(path, reader.get());
  const int64_t size = kavrino::QdxFileSize(reader.get());
  uint64_t blocks = 0, checksum = 0;
  const auto start = std::chrono::steady_clock::now();
  for (int pass = 0; pass < passes; ++pass) {
    kavrino::QdxRewind(reader.get());
    while (kavrino::GetNextQdxBlock(reader.get(), block.get(), kQdxAnyBlock, kQdxAnyBlock, 0) ==
           0) {
      ++blocks;
      checksum += block[kavrino::QdxBlockLength(block.get()) - 1];
      if (peek) {
        kavrino::GetNextQdxBlock(reader.get(), ahead.get(), kQdxAnyBlock, kQdxAnyBlock,
                                 kavrino::kQdxModePeek);
      }
    }
  }
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  kavrino::CloseQdxReader(reader.get());
  struct rusage usage;
  getrusage(RUSAGE_SELF, &usage);
  const double bytes = static_cast<double>(size) * passes;
  std::printf(
      "%d pass(es)%s over %lld bytes: %llu blocks in %.3f s, %.0f MB/s, peak RSS %ld KiB"
      " (checksum %llu)\n",
      passes, peek ? " with peeks" : "", static_cast<long long>(size),
      static_cast<unsigned long long>(blocks), seconds, bytes / seconds / 1e6, usage.ru_maxrss,
      static_cast<unsigned long long>(checksum));
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 4 && std::strcmp(argv[1], "--make") == 0) {
    return MakeFile(argv[2], std::atol(argv[3]));
  }
  if (argc >= 2 && argv[1][0] != '-') {
    int passes = 1;
    bool peek = false;
    for (int i = 2; i < argc; ++i) {
      if (std::strcmp(argv[i], "--peek") == 0) {
        peek = true;
      } else {
        passes = std::atoi(argv[i]);
      }
    }
    if (passes < 1) passes = 1;
    return Walk(argv[1], passes, peek);
  }
  std::fprintf(stderr,
               "usage: bench_reader_walk FILE [PASSES] [--peek]\n"
               "       bench_reader_walk --make FILE MIB\n");
  return 3;
}
