// Block framing and the reader: CRC, sub-block arrays, the search for blocks
// in damaged input and the navigation copy.
#include "qdx/reader.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "qdx/block.h"
#include "qdx/nav_copy.h"
#include "qdx/qdx_files.h"

namespace kavrino {
namespace {

using test::Bytes;
using test::Concat;

test::QdxBlockWriter Writer(uint16_t number, size_t length, uint8_t revision, uint8_t fill) {
  test::QdxBlockWriter writer(number, revision, 1000, 2300, length);
  for (size_t i = 14; i < length; ++i) writer.U8(i, static_cast<uint8_t>(fill + i));
  return writer;
}
Bytes Block(uint16_t number, size_t length, uint8_t revision = 0, uint8_t fill = 0) {
  return Writer(number, length, revision, fill).Finish();
}
Bytes WithBadCrc(Bytes block) {
  block[2] ^= 0x5A;
  return block;
}

struct OpenFile {
  test::TempQdxFile file;
  std::unique_ptr<QdxReader> reader = std::make_unique<QdxReader>();
  explicit OpenFile(const Bytes& image) : file(image) {
    InitQdxReader(file.path.c_str(), reader.get());
  }
  ~OpenFile() { CloseQdxReader(reader.get()); }
};

TEST(ResizeQdxSubBlocks, MovesElementsOrRefuses) {
  const struct {
    size_t length, capacity;
    uint32_t count, old_size, new_size;
    bool ok;
  } cases[] = {
      {20 + 3 * 24, 200, 3, 24, 20, true},               // shrink
      {50, 200, 3, 10, 10, true},                        // equal sizes
      {14 + 2 * 8, 200, 2, 8, 4, true},                  // the array fills the body
      {14 + 2 * 8, 200, 2, 9, 4, false},                 // it reaches into the header
      {40, 200, 100000, 40000, 4, false},                // larger than the block
      {20 + 4 * 12, 20 + 4 * 16 - 1, 4, 12, 16, false},  // grown, exceeds the buffer
      {20 + 4 * 12, 20 + 4 * 16, 4, 12, 16, true},       // grown, just fits
      {100, 99, 1, 8, 8, false},                         // length beyond the buffer
      {60, 200, 0xFFFFFFFFu, 0xFFFFFFFFu, 1, false},     // overflowing count
  };
  for (const auto& c : cases) {
    // The block ends in its elements (one of 4 bytes where refused); byte i
    // of element k holds 16k + i + 1. The buffer beyond the block holds 0xEE.
    const uint32_t n = c.ok ? c.count : 1, size = c.ok ? c.old_size : 4;
    const size_t first = c.length - n * size;
    test::QdxBlockWriter w(4000, 0, 0, 0, c.length);
    for (uint32_t k = 0; k < n * size; ++k)
      w.U8(first + k, uint8_t(16 * (k / size) + k % size + 1));
    std::vector<uint8_t> block = w.Finish();
    block.resize(std::max(c.capacity, c.length), 0xEE);
    std::vector<uint8_t> want = block;
    for (uint32_t k = 0; c.ok && k < n * c.new_size; ++k) {
      const uint32_t i = k % c.new_size;
      want[first + k] = i < size ? uint8_t(16 * (k / c.new_size) + i + 1) : 0;
    }
    SCOPED_TRACE(testing::Message() << c.length << " " << c.count << " " << c.old_size);
    EXPECT_EQ(ResizeQdxSubBlocks(block.data(), c.capacity, c.count, c.old_size, c.new_size), c.ok);
    EXPECT_EQ(block, want);
  }
}

TEST(QdxReader, WalksDamagedInput) {
  const Bytes a = Block(4027, 40);
  const Bytes b = Block(5902, 16);
  Bytes len15 = Block(4006, 16);
  len15[6] = 15;  // CRC made over 11 bytes so that only the length is wrong
  const uint16_t crc15 = QdxCrc16(len15.data() + 4, 11);
  len15[2] = crc15 & 0xFF;
  len15[3] = crc15 >> 8;
  const Bytes noise = {'$', '$', '@', 0x00, '$', '@', 0xFF, 0xFF, 0x10, 0x00, 7, '$'};
  // Damaged and nested blocks, truncation and noise at large are left to the
  // random walk below; here the empty file, the length bounds and the position.
  const struct {
    Bytes image;
    std::vector<int64_t> offsets;
  } cases[] = {
      {{}, {}},
      {Concat({noise, a, noise, b, noise}), {12, 64}},
      {Concat({len15, b}), {16}},  // length 15 rejected, 16 accepted
      {Concat({a, Block(5896, 65535), b}), {0, 40, 65575}},
  };
  auto buffer = std::make_unique<uint8_t[]>(kQdxMaxBlockSize);
  for (const auto& c : cases) {
    OpenFile file(c.image);
    std::vector<int64_t> offsets;
    while (GetNextQdxBlock(file.reader.get(), buffer.get(), kQdxAnyBlock, kQdxAnyBlock, 0) == 0) {
      offsets.push_back(QdxTell(file.reader.get()) - QdxBlockLength(buffer.get()));
    }
    EXPECT_EQ(offsets, c.offsets);
    // At the end the position is back where the last search began.
    const int64_t end =
        c.offsets.empty() ? 0 : c.offsets.back() + QdxBlockLength(&c.image[c.offsets.back()]);
    EXPECT_EQ(QdxTell(file.reader.get()), end);
    EXPECT_EQ(QdxFileSize(file.reader.get()), static_cast<int64_t>(c.image.size()));
  }
}

// The search done a byte at a time: the offset of the first block accepted
// from `from` (and the offset after it), or -1. `valid` holds the length of
// the CRC-valid block at each offset (0: none).
int64_t ReferenceFind(const Bytes& f, const std::vector<uint16_t>& valid, int64_t from,
                      uint16_t first_id, uint16_t second_id, int64_t* after) {
  for (size_t p = static_cast<size_t>(from); p < f.size();) {
    if (valid[p] == 0) {
      ++p;
      continue;
    }
    const int number = (f[p + 4] | (f[p + 5] << 8)) & 0x1FFF;
    if (first_id == 65535 || second_id == 65535 || number == first_id || number == second_id) {
      *after = static_cast<int64_t>(p + valid[p]);
      return static_cast<int64_t>(p);
    }
    p += valid[p];
  }
  return -1;
}

// Random images larger than the read buffer, searched with random filters,
// modes and seeks, agree with the byte-at-a-time search.
TEST(QdxReader, AgreesWithByteWiseScanAcrossBufferRefills) {
  std::mt19937 rng(20240611);
  const uint16_t numbers[] = {4027, 5902, 4031, 4006};
  Bytes image;
  while (image.size() < 3u * 1024 * 1024) {
    const uint32_t kind = rng() % 100;
    const uint16_t number = static_cast<uint16_t>(kind < 50 ? 4027 : 4000 + rng() % 2000);
    size_t length = kind < 60 ? 1000 + rng() % 2000 : 16 + rng() % 200;
    if (kind == 99) length = 40000 + rng() % 25536;
    test::QdxBlockWriter w = Writer(number, length, rng() % 8, static_cast<uint8_t>(rng()));
    if (length >= 60 && rng() % 8 == 0) w.Bytes(30, Block(numbers[rng() % 4], 20, rng() % 8));
    Bytes block = w.Finish();
    if (kind >= 90 && kind < 93) block = WithBadCrc(block);
    if (kind >= 93 && kind < 95) block.resize(block.size() / 2);
    if (kind >= 95 && kind < 98) {
      for (int i = 0; i < 20; ++i) image.push_back(i % 3 == 0 ? '$' : static_cast<uint8_t>(rng()));
    }
    image.insert(image.end(), block.begin(), block.end());
  }
  image.resize(image.size() - 7);  // ends inside a block
  std::vector<uint16_t> valid(image.size(), 0);
  for (size_t p = 0; p + 8 <= image.size(); ++p) {
    const size_t len = image[p + 6] | (image[p + 7] << 8);
    const uint16_t crc = static_cast<uint16_t>(image[p + 2] | (image[p + 3] << 8));
    if (image[p] == '$' && image[p + 1] == '@' && len >= 16 && image.size() - p >= len &&
        test::BitwiseCrc16(&image[p + 4], len - 4) == crc) {
      valid[p] = static_cast<uint16_t>(len);
    }
  }

  OpenFile file(image);
  QdxReader* reader = file.reader.get();
  auto buffer = std::make_unique<uint8_t[]>(kQdxMaxBlockSize);
  // Mode, whether it rewinds first, whether it puts the position back.
  const int modes[][3] = {{0, 0, 0}, {4, 0, 1}, {1, 1, 0}, {5, 1, 1},
                          {2, 0, 0}, {3, 0, 0}, {8, 0, 0}, {12, 0, 0}};
  int64_t position = 0;
  int found = 0;
  for (int step = 0; step < 20000; ++step) {
    const uint32_t op = rng() % 100;
    const int* mode = modes[op < 80 ? 0 : op < 88 ? 1 : rng() % 8];
    uint16_t first = 65535, second = 65535;
    if (op >= 88 && op < 94) {  // numbers are compared, not id words with a revision
      first = static_cast<uint16_t>(numbers[rng() % 4] | (rng() % 4 == 0 ? 0x6000 : 0));
      if (rng() % 3 != 0) second = static_cast<uint16_t>(4000 + rng() % 2000);
    }
    if (op == 94) {
      position = static_cast<int64_t>(rng() % image.size());
      QdxSeek(reader, position);
    }
    int64_t after = 0;
    const int64_t expected =
        ReferenceFind(image, valid, mode[1] ? 0 : position, first, second, &after);
    buffer[0] = 0x77;
    const int result = GetNextQdxBlock(reader, buffer.get(), first, second, mode[0]);
    ASSERT_EQ(result, expected < 0 ? -1 : 0) << "step " << step << " at " << position;
    if (expected >= 0) {
      ++found;
      ASSERT_EQ(std::memcmp(buffer.get(), &image[expected], after - expected), 0);
      if (!mode[2]) position = after;
    } else {
      ASSERT_EQ(buffer[0], 0x77);  // a failed search leaves the buffer and the position
    }
    ASSERT_EQ(QdxTell(reader), position) << "step " << step;
    if (result < 0) {
      position = 0;
      QdxRewind(reader);
    }
  }
  EXPECT_GT(found, 15000);
}

// A file that cannot be opened or read notes where and why.
TEST(QdxReader, FailuresAreNoted) {
  test::TempQdxFile file(Block(4027, 40));
  auto missing = std::make_unique<QdxReader>();
  EXPECT_FALSE(InitQdxReader((file.dir / "vanished.qdx").c_str(), missing.get()));
  EXPECT_EQ(missing->failure.site, 460);
  EXPECT_EQ(missing->failure.error, ENOENT);
  auto directory = std::make_unique<QdxReader>();
  ASSERT_TRUE(InitQdxReader(file.dir.path().c_str(), directory.get()));
  auto block = std::make_unique<uint8_t[]>(kQdxMaxBlockSize);
  EXPECT_EQ(GetNextQdxBlock(directory.get(), block.get(), kQdxAnyBlock, kQdxAnyBlock, 0), -1);
  EXPECT_EQ(directory->failure.site, 230);
  EXPECT_EQ(directory->failure.error, EISDIR);
  EXPECT_FALSE(CloseQdxReader(directory.get()));
}

// The blocks a navigation walk uses, whole, from the reader's start; with
// `stop_after` the walk ends early after that many blocks of any kind.
std::vector<Bytes> NavBlocks(QdxReader* reader, int stop_after = -1) {
  std::vector<Bytes> seen;
  auto block = std::make_unique<uint8_t[]>(kQdxMaxBlockSize + 1);
  QdxRewind(reader);
  for (int n = 0; n != stop_after; ++n) {
    if (GetNextQdxBlock(reader, block.get(), kQdxAnyBlock, kQdxAnyBlock, kQdxModeWalk) != 0) break;
    const uint8_t* b = block.get();
    if (!IsNavSkippableBlock(QdxBlockNumber(b))) seen.emplace_back(b, b + QdxBlockLength(b));
    if (n == 1) {
      // A look-ahead for one kind of block and a peek, each put back, as the
      // generators make them, copy nothing.
      const int64_t here = QdxTell(reader);
      GetNextQdxBlock(reader, block.get(), 5894, 5894, kQdxModeWalk);
      QdxSeek(reader, here);
      GetNextQdxBlock(reader, block.get(), kQdxAnyBlock, kQdxAnyBlock, kQdxModePeek);
    }
  }
  return seen;
}

// Also without a temporary file for the copy: then the walks read the file.
TEST(QdxNavCopy, HandsLaterWalksWhatTheFileHandsThem) {
  const Bytes meas = Block(4027, 200), extra = Block(4000, 120), fix = Block(4006, 56);
  const Bytes eph = Block(5891, 140, 0, 3), utc = Block(5894, 40, 0, 9), sbas = Block(4020, 52);
  const Bytes garbage = {'$', '@', 0x10, 0x00, '$', 0x01, 0x02};
  const Bytes cut(eph.begin(), eph.begin() + 40);
  const struct {
    Bytes image;
    int first_walk_stops_after;  // -1: the first walk goes to the end
    bool no_temp_dir;
  } cases[] = {
      {Concat({meas, extra, fix, meas}), -1, false},  // ignored blocks only
      {Concat({meas, extra, sbas, fix, utc, meas, eph, sbas, meas}), -1, false},
      {Concat({garbage, meas, WithBadCrc(sbas), sbas, cut, eph, garbage}), -1, false},
      {Concat({eph, sbas, utc, eph}), -1, false},  // no ignored blocks
      {Bytes{}, -1, false},
      {Concat({meas, sbas, eph, meas, utc, sbas}), 3, false},  // the first walk ends early
      {Concat({meas, eph}), -1, true},
  };
  for (const auto& c : cases) {
    OpenFile plain(c.image), file(c.image);
    const std::vector<Bytes> expected = NavBlocks(plain.reader.get());
    const char* saved = getenv("TMPDIR");
    const std::string old = saved != nullptr ? saved : "";
    if (c.no_temp_dir) setenv("TMPDIR", "/nonexistent-kavrino-dir", 1);
    QdxNavCopy copy;
    file.reader->copy = &copy;
    if (c.first_walk_stops_after >= 0) {
      NavBlocks(file.reader.get(), c.first_walk_stops_after);
      EXPECT_FALSE(IsNavCopyReady(copy));
    }
    EXPECT_EQ(NavBlocks(file.reader.get()), expected);
    EXPECT_EQ(IsNavCopyReady(copy), !c.no_temp_dir);
    EXPECT_EQ(copy.failed, c.no_temp_dir);
    EXPECT_EQ(NavBlocks(file.reader.get()), expected);  // a second walk adds nothing
    if (c.no_temp_dir) saved != nullptr ? setenv("TMPDIR", old.c_str(), 1) : unsetenv("TMPDIR");
    QdxReader reader;
    ASSERT_EQ(OpenQdxReaderOnNavCopy(copy, &reader), !c.no_temp_dir);
    EXPECT_TRUE(c.no_temp_dir || NavBlocks(&reader) == expected);
    CloseQdxReader(&reader);
    CloseNavCopy(&copy);
    EXPECT_FALSE(IsNavCopyReady(copy));
  }
}

}  // namespace
}  // namespace kavrino
