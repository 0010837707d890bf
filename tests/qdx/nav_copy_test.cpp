#include "qdx/nav_copy.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <memory>
#include <string>
#include <vector>

#include "qdx/block.h"
#include "qdx/reader.h"
#include "support/qdx_writer.h"

namespace kavrino {
namespace {

using Bytes = std::vector<uint8_t>;

Bytes Block(uint16_t number, size_t length, uint8_t fill = 0) {
  test::QdxBlockWriter writer(number, 0, 1000, 2300, length);
  for (size_t i = 14; i < length; ++i) writer.U8(i, static_cast<uint8_t>(fill + i));
  return writer.Finish();
}

Bytes Concat(std::initializer_list<Bytes> parts) {
  Bytes out;
  for (const Bytes& part : parts) out.insert(out.end(), part.begin(), part.end());
  return out;
}

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
  const Bytes eph = Block(5891, 140, 3);
  const Bytes utc = Block(5894, 40, 9);
  const Bytes sbas = Block(4020, 52, 5);
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
