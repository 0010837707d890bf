#include "qdx/reader.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <cerrno>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "qdx/block.h"
#include "qdx/encode/qdx_writer.h"
#include "qdx/nav_copy.h"
#include "qdx/reference_crc.h"

namespace kavrino {
namespace {

using Bytes = std::vector<uint8_t>;

Bytes Block(uint16_t number, size_t length, uint8_t revision = 0, uint8_t fill = 0) {
  test::QdxBlockWriter writer(number, revision, 1000, 2300, length);
  for (size_t i = 14; i < length; ++i) writer.U8(i, static_cast<uint8_t>(fill + i));
  return writer.Finish();
}

Bytes Concat(std::initializer_list<Bytes> parts) {
  Bytes out;
  for (const Bytes& part : parts) out.insert(out.end(), part.begin(), part.end());
  return out;
}

Bytes WithBadCrc(Bytes block) {
  block[2] ^= 0x5A;
  return block;
}

// A fresh reader on a file holding `image`.
struct OpenFile {
  std::unique_ptr<QdxReader> reader = std::make_unique<QdxReader>();
  std::string path;
  explicit OpenFile(const Bytes& image, const std::string& tag = "reader") {
    path = test::MakeTempDir(tag) + "/in.qdx";
    EXPECT_TRUE(test::WriteFileBytes(path, image));
    InitQdxReader(path.c_str(), reader.get());
  }
  ~OpenFile() { CloseQdxReader(reader.get()); }
};

// Length of the CRC-valid block that starts at each offset of an image (0: none),
// checked a byte at a time.
std::vector<uint16_t> ValidBlockLengths(const Bytes& f) {
  const size_t n = f.size();
  std::vector<uint16_t> lengths(n, 0);
  for (size_t p = 0; p + 8 <= n; ++p) {
    if (f[p] != '$' || f[p + 1] != '@') continue;
    const size_t len = f[p + 6] | (f[p + 7] << 8);
    const uint16_t crc = static_cast<uint16_t>(f[p + 2] | (f[p + 3] << 8));
    if (len >= 16 && n - p >= len && test::BitwiseCrc16(&f[p + 4], len - 4) == crc) {
      lengths[p] = static_cast<uint16_t>(len);
    }
  }
  return lengths;
}

// The reader's search over an image: returns the offset of the accepted block
// (and the offset after it) or -1.
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

// Walks every block and returns the offsets at which they start.
std::vector<int64_t> WalkOffsets(QdxReader* reader, int64_t* end_tell) {
  std::vector<int64_t> offsets;
  auto buffer = std::make_unique<uint8_t[]>(kQdxMaxBlockSize);
  while (GetNextQdxBlock(reader, buffer.get(), kQdxAnyBlock, kQdxAnyBlock, kQdxModeWalk) == 0) {
    offsets.push_back(QdxTell(reader) - QdxBlockLength(buffer.get()));
  }
  *end_tell = QdxTell(reader);
  return offsets;
}

TEST(QdxReader, WalksDamagedInput) {
  const Bytes a = Block(4027, 40);
  const Bytes b = Block(5902, 16);
  Bytes len15 = Block(4006, 16);
  len15[6] = 15;  // CRC made over 11 bytes so that only the length is wrong
  const uint16_t crc15 = QdxCrc16(len15.data() + 4, 11);
  len15[2] = crc15 & 0xFF;
  len15[3] = crc15 >> 8;
  Bytes bad_with_inner = WithBadCrc(Block(4027, 60));
  std::copy(b.begin(), b.end(), bad_with_inner.begin() + 20);
  Bytes long_length = a;  // a length that runs over the next block
  long_length[6] = 200;
  const Bytes noise = {'$', '$', '@', 0x00, '$', '@', 0xFF, 0xFF, 0x10, 0x00, 7, '$'};
  const Bytes big = Block(5896, 65535);
  const Bytes truncated(a.begin(), a.end() - 1);

  struct Case {
    const char* name;
    Bytes image;
    std::vector<int64_t> offsets;
  };
  const std::vector<Case> cases = {
      {"empty", {}, {}},
      {"noise only", noise, {}},
      {"blocks between noise", Concat({noise, a, noise, b, noise}), {12, 64}},
      {"truncated last block", Concat({a, truncated}), {0}},
      {"lone sync at end", Concat({a, {'$'}}), {0}},
      {"length 15 rejected, 16 accepted", Concat({len15, b}), {16}},
      {"block 1 byte after a '$'", Concat({{'$'}, a}), {1}},
      {"block inside a CRC-damaged block", Concat({bad_with_inner, a}), {20, 60}},
      {"damaged length over the next block", Concat({long_length, b}), {40}},
      {"largest block", Concat({a, big, b}), {0, 40, 65575}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    OpenFile file(c.image);
    int64_t end_tell = 0;
    EXPECT_EQ(WalkOffsets(file.reader.get(), &end_tell), c.offsets);
    const int64_t last_end =
        c.offsets.empty() ? 0 : c.offsets.back() + QdxBlockLength(&c.image[c.offsets.back()]);
    EXPECT_EQ(end_tell, last_end);  // -1 leaves the position where the search began
    EXPECT_EQ(QdxFileSize(file.reader.get()), static_cast<int64_t>(c.image.size()));
  }
}

TEST(QdxReader, FiltersByBlockNumberAndSkipsOtherBlocksWhole) {
  const Bytes inner = Block(4031, 20);
  const Bytes outer = test::QdxBlockWriter(4027, 0, 0, 0, 80).Bytes(30, inner).Finish();
  const Bytes image = Concat({outer, Block(5902, 30, 3), Block(5894, 24), Block(4031, 24, 7)});
  auto buffer = std::make_unique<uint8_t[]>(kQdxMaxBlockSize);

  struct Case {
    uint16_t first, second;
    std::vector<uint16_t> ids;  // whole id words found, in order
  };
  const std::vector<Case> cases = {
      {5902, 5902, {0x6000 | 5902}},
      {4031, 5894, {5894, 0xE000 | 4031}},  // the block inside 4027 is skipped with it
      {5894, 65535, {4027, 0x6000 | 5902, 5894, 0xE000 | 4031}},
      {0x6000 | 5902, 0x6000 | 5902, {}},  // numbers, not id words, are compared
  };
  for (const Case& c : cases) {
    OpenFile file(image);
    std::vector<uint16_t> ids;
    while (GetNextQdxBlock(file.reader.get(), buffer.get(), c.first, c.second, 0) == 0) {
      ids.push_back(QdxBlockId(buffer.get()));
    }
    EXPECT_EQ(ids, c.ids) << c.first << "/" << c.second;
  }
}

TEST(QdxReader, RewindPeekAndOddModesKeepThePosition) {
  const Bytes image = Concat({Block(4027, 40), Block(5936, 50), Block(5902, 60), Block(4006, 70)});
  OpenFile file(image);
  QdxReader* reader = file.reader.get();
  auto buffer = std::make_unique<uint8_t[]>(kQdxMaxBlockSize);

  // Plain walks, peeks, filters and seeks: see the byte-wise cross-check below.
  ASSERT_EQ(GetNextQdxBlock(reader, buffer.get(), 65535, 65535, kQdxModeWalk), 0);
  ASSERT_EQ(GetNextQdxBlock(reader, buffer.get(), 4006, 4006, kQdxModePeek), 0);
  EXPECT_EQ(QdxBlockNumber(buffer.get()), 4006);
  EXPECT_EQ(QdxTell(reader), 40);
  // Rewind and peek: the first block, and the position from before the call.
  ASSERT_EQ(GetNextQdxBlock(reader, buffer.get(), 65535, 65535, kQdxModeRewind | kQdxModePeek), 0);
  EXPECT_EQ(QdxBlockNumber(buffer.get()), 4027);
  EXPECT_EQ(QdxTell(reader), 40);
  // Other values of the mode fields do nothing.
  ASSERT_EQ(GetNextQdxBlock(reader, buffer.get(), 65535, 65535, 2 | 8), 0);
  EXPECT_EQ(QdxBlockNumber(buffer.get()), 5936);
  EXPECT_EQ(QdxTell(reader), 90);
  // A failed search leaves the buffer and the position alone.
  buffer[0] = 0x77;
  EXPECT_EQ(GetNextQdxBlock(reader, buffer.get(), 1234, 1234, kQdxModeWalk), -1);
  EXPECT_EQ(GetNextQdxBlock(reader, buffer.get(), 1234, 1234, kQdxModeRewind), -1);
  EXPECT_EQ(buffer[0], 0x77);
  EXPECT_EQ(QdxTell(reader), 90);
}

// Random images larger than the read buffer, walked with random walks, peeks,
// filters and seeks, must agree with the byte-at-a-time algorithm.
TEST(QdxReader, AgreesWithByteWiseScanAcrossBufferRefills) {
  std::mt19937 rng(20240611);
  Bytes image;
  while (image.size() < 3u * 1024 * 1024) {
    const uint32_t kind = rng() % 100;
    const uint16_t number = static_cast<uint16_t>(kind < 50 ? 4027 : 4000 + rng() % 2000);
    size_t length = kind < 60 ? 1000 + rng() % 2000 : 16 + rng() % 200;
    if (kind == 99) length = 40000 + rng() % 25536;
    Bytes block =
        Block(number, length, static_cast<uint8_t>(rng() % 8), static_cast<uint8_t>(rng()));
    if (kind >= 90 && kind < 93) block = WithBadCrc(block);
    if (kind >= 93 && kind < 95) block.resize(block.size() / 2);
    if (kind >= 95 && kind < 98) {
      for (int i = 0; i < 20; ++i) image.push_back(i % 3 == 0 ? '$' : static_cast<uint8_t>(rng()));
    }
    image.insert(image.end(), block.begin(), block.end());
  }
  image.resize(image.size() - 7);  // ends inside a block

  const std::vector<uint16_t> valid = ValidBlockLengths(image);
  OpenFile file(image, "reader-random");
  QdxReader* reader = file.reader.get();
  auto buffer = std::make_unique<uint8_t[]>(kQdxMaxBlockSize);
  int64_t position = 0;
  int found = 0;
  for (int step = 0; step < 20000; ++step) {
    const uint32_t op = rng() % 100;
    uint16_t first = 65535, second = 65535;
    int mode = kQdxModeWalk;
    if (op < 10) mode = kQdxModePeek;
    if (op >= 10 && op < 12) first = second = static_cast<uint16_t>(4000 + rng() % 2000);
    if (op == 12) {
      position = static_cast<int64_t>(rng() % image.size());
      QdxSeek(reader, position);
    }
    int64_t after = 0;
    const int64_t expected = ReferenceFind(image, valid, position, first, second, &after);
    const int result = GetNextQdxBlock(reader, buffer.get(), first, second, mode);
    ASSERT_EQ(result, expected < 0 ? -1 : 0) << "step " << step << " at " << position;
    if (expected >= 0) {
      ++found;
      ASSERT_EQ(std::memcmp(buffer.get(), &image[expected], after - expected), 0);
      if (mode != kQdxModePeek) position = after;
    }
    ASSERT_EQ(QdxTell(reader), position) << "step " << step;
    if (result < 0) {
      position = 0;
      QdxRewind(reader);
    }
  }
  EXPECT_GT(found, 15000);
}

TEST(QdxReader, OpeningResetsTheDecodingState) {
  auto reader = std::make_unique<QdxReader>();
  reader->decode.gather.pending_mask = 0x55;
  reader->decode.gather.channel_meas[100] = 9;
  reader->decode.compact[1].reference_tow = 42;
  const std::string path = test::MakeTempDir("reader-reset") + "/in.qdx";
  ASSERT_TRUE(test::WriteFileBytes(path, Block(4027, 40)));
  InitQdxReader(path.c_str(), reader.get());
  EXPECT_EQ(reader->decode.gather.current_tow, 0xFFFFFFFFu);
  EXPECT_EQ(reader->decode.gather.last_decoded_tow, 0xFFFFFFFFu);
  EXPECT_EQ(reader->decode.gather.pending_mask, 0);
  EXPECT_EQ(reader->decode.gather.channel_meas[100], 0);
  EXPECT_EQ(reader->decode.compact[0].reference_tow, 0xFFFFFFFFu);
  EXPECT_EQ(reader->decode.compact[1].reference_tow, 0xFFFFFFFFu);
  EXPECT_EQ(QdxTell(reader.get()), 0);
  CloseQdxReader(reader.get());
}

TEST(QdxReader, OperatingSystemFailuresEndTheWalkAndAreNoted) {
  const std::string dir = test::MakeTempDir("reader-fail");
  auto missing = std::make_unique<QdxReader>();
  EXPECT_FALSE(InitQdxReader((dir + "/vanished.qdx").c_str(), missing.get()));
  EXPECT_EQ(missing->failure.site, 460);
  EXPECT_EQ(missing->failure.error, ENOENT);
  auto directory = std::make_unique<QdxReader>();
  ASSERT_TRUE(InitQdxReader(dir.c_str(), directory.get()));
  auto block = std::make_unique<uint8_t[]>(kQdxMaxBlockSize);
  EXPECT_EQ(GetNextQdxBlock(directory.get(), block.get(), kQdxAnyBlock, kQdxAnyBlock, 0), -1);
  EXPECT_EQ(directory->failure.site, 230);
  EXPECT_EQ(directory->failure.error, EISDIR);
  EXPECT_FALSE(CloseQdxReader(directory.get()));
}

// A file holding `image`, for readers opened by path.
std::string WriteImage(const Bytes& image) {
  const std::string path = test::MakeTempDir("navcopy") + "/in.qdx";
  EXPECT_TRUE(test::WriteFileBytes(path, image));
  return path;
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

std::vector<Bytes> PlainNavBlocks(const std::string& path) {
  QdxReader reader;
  InitQdxReader(path.c_str(), &reader);
  std::vector<Bytes> seen = NavBlocks(&reader);
  CloseQdxReader(&reader);
  return seen;
}

std::vector<Bytes> CopyNavBlocks(const QdxNavCopy& copy) {
  QdxReader reader;
  if (!OpenQdxReaderOnNavCopy(copy, &reader)) return {};
  std::vector<Bytes> seen = NavBlocks(&reader);
  CloseQdxReader(&reader);
  return seen;
}

TEST(QdxNavCopy, HandsLaterWalksWhatTheFileHandsThem) {
  const Bytes meas = Block(4027, 200);
  const Bytes extra = Block(4000, 120);
  const Bytes fix = Block(4006, 56);
  const Bytes eph = Block(5891, 140, 0, 3);
  const Bytes utc = Block(5894, 40, 0, 9);
  const Bytes sbas = Block(4020, 52, 0, 5);
  const Bytes garbage = {'$', '@', 0x10, 0x00, '$', 0x01, 0x02};
  Bytes bad_crc = sbas;
  bad_crc[2] ^= 0x5A;
  const Bytes cut(eph.begin(), eph.begin() + 40);
  struct Case {
    const char* name;
    Bytes image;
    int first_walk_stops_after;  // -1: the first walk goes to the end
  };
  const Case cases[] = {
      {"ignored blocks only", Concat({meas, extra, fix, meas}), -1},
      {"interleaved", Concat({meas, extra, sbas, fix, utc, meas, eph, sbas, meas}), -1},
      {"garbage and damage", Concat({garbage, meas, bad_crc, sbas, cut, eph, garbage}), -1},
      {"no ignored blocks", Concat({eph, sbas, utc, eph}), -1},
      {"empty file", Bytes{}, -1},
      {"first walk ends early", Concat({meas, sbas, eph, meas, utc, sbas}), 3},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string path = WriteImage(c.image);
    const std::vector<Bytes> expected = PlainNavBlocks(path);
    QdxNavCopy copy;
    QdxReader reader;
    InitQdxReader(path.c_str(), &reader);
    reader.copy = &copy;
    if (c.first_walk_stops_after >= 0) {
      NavBlocks(&reader, c.first_walk_stops_after);
      EXPECT_FALSE(IsNavCopyReady(copy));
    }
    EXPECT_EQ(NavBlocks(&reader), expected);
    EXPECT_TRUE(IsNavCopyReady(copy));
    EXPECT_EQ(NavBlocks(&reader), expected);  // a second walk adds nothing
    CloseQdxReader(&reader);
    EXPECT_EQ(CopyNavBlocks(copy), expected);
    CloseNavCopy(&copy);
    EXPECT_FALSE(IsNavCopyReady(copy));
  }
}

TEST(QdxNavCopy, WithoutATemporaryFileTheWalksReadTheFile) {
  const std::string path = WriteImage(Concat({Block(4027, 200), Block(5891, 140)}));
  const char* saved = getenv("TMPDIR");
  const std::string old = saved != nullptr ? saved : "";
  setenv("TMPDIR", "/nonexistent-kavrino-dir", 1);
  QdxNavCopy copy;
  QdxReader reader;
  InitQdxReader(path.c_str(), &reader);
  reader.copy = &copy;
  EXPECT_EQ(NavBlocks(&reader).size(), 1u);
  if (saved != nullptr) {
    setenv("TMPDIR", old.c_str(), 1);
  } else {
    unsetenv("TMPDIR");
  }
  EXPECT_TRUE(copy.failed);
  EXPECT_FALSE(IsNavCopyReady(copy));
  QdxReader other;
  EXPECT_FALSE(OpenQdxReaderOnNavCopy(copy, &other));
  CloseQdxReader(&reader);
  CloseNavCopy(&copy);
}

}  // namespace
}  // namespace kavrino
