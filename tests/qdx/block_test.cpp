#include "qdx/block.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <vector>

#include "qdx/reference_crc.h"
#include "qdx/encode/qdx_writer.h"

namespace kavrino {
namespace {

TEST(QdxCrc16, MatchesXmodemCheckValue) {
  const char* text = "123456789";
  EXPECT_EQ(QdxCrc16(reinterpret_cast<const uint8_t*>(text), 9), 0x31C3);
  EXPECT_EQ(QdxCrc16(nullptr, 0), 0);
}

TEST(QdxBlock, WriterProducesValidFraming) {
  auto block = test::QdxBlockWriter(4027, 2, 1000, 2000, 24).U32(16, 0xDEADBEEF).Finish();
  ASSERT_EQ(block.size(), 24u);
  EXPECT_TRUE(IsQdxCrcValid(block.data()));
  EXPECT_EQ(QdxBlockNumber(block.data()), 4027);
  EXPECT_EQ(QdxBlockRevision(block.data()), 2);
  EXPECT_EQ(QdxBlockTimeMs(block.data()), 2000LL * 604800000 + 1000);
  block[20] ^= 1;
  EXPECT_FALSE(IsQdxCrcValid(block.data()));
}

}  // namespace
}  // namespace kavrino

namespace kavrino {
namespace {

TEST(QdxCrc16, EqualsBitwiseCrcForRandomDataLengthsAndAlignments) {
  std::mt19937 rng(7);
  std::vector<uint8_t> data(70000);
  for (uint8_t& byte : data) byte = static_cast<uint8_t>(rng());
  for (size_t count = 0; count < 400; ++count) {
    for (size_t start = 0; start < 17; ++start) {
      ASSERT_EQ(QdxCrc16(&data[start], count), test::BitwiseCrc16(&data[start], count))
          << count << " from " << start;
    }
  }
  for (int i = 0; i < 300; ++i) {
    const size_t start = rng() % 64;
    const size_t count = rng() % (data.size() - start);
    ASSERT_EQ(QdxCrc16(&data[start], count), test::BitwiseCrc16(&data[start], count)) << count;
  }
  std::vector<uint8_t> ones(65535, 0xFF);
  EXPECT_EQ(QdxCrc16(ones.data(), ones.size()), test::BitwiseCrc16(ones.data(), ones.size()));
}

// A block of `length` bytes ending in `count` elements of `size` bytes; element
// k holds the bytes 16k+1, 16k+2, ...
std::vector<uint8_t> ArrayBlock(size_t length, uint32_t count, uint32_t size, size_t capacity) {
  std::vector<uint8_t> block(capacity, 0xEE);
  test::QdxBlockWriter writer(4000, 0, 0, 0, length);
  for (uint32_t k = 0; k < count; ++k) {
    for (uint32_t i = 0; i < size; ++i) {
      writer.U8(length - (count - k) * size + i, static_cast<uint8_t>(16 * k + i + 1));
    }
  }
  const std::vector<uint8_t> bytes = writer.Finish();
  std::copy(bytes.begin(), bytes.end(), block.begin());
  return block;
}

TEST(ResizeQdxSubBlocks, MovesElementsOrRefuses) {
  struct Case {
    const char* name;
    size_t length, capacity;
    uint32_t count, old_size, new_size;
    bool ok;
  };
  const std::vector<Case> cases = {
      {"shrink 24 to 20", 20 + 3 * 24, 200, 3, 24, 20, true},
      {"grow 12 to 16", 20 + 4 * 12, 200, 4, 12, 16, true},
      {"count 0", 40, 200, 0, 12, 16, true},
      {"equal sizes", 50, 200, 3, 10, 10, true},
      {"array fills the body", 14 + 2 * 8, 200, 2, 8, 4, true},
      {"array reaches into the header", 14 + 2 * 8, 200, 2, 9, 4, false},
      {"array larger than the block", 40, 200, 100000, 40000, 4, false},
      {"grown array exceeds the buffer", 20 + 4 * 12, 20 + 4 * 16 - 1, 4, 12, 16, false},
      {"grown array just fits", 20 + 4 * 12, 20 + 4 * 16, 4, 12, 16, true},
      {"length beyond the buffer", 100, 99, 1, 8, 8, false},
      {"overflowing count", 60, 200, 0xFFFFFFFFu, 0xFFFFFFFFu, 1, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const uint32_t fill_count = c.ok ? c.count : 1;
    const uint32_t fill_size = c.ok ? c.old_size : 4;
    const size_t buffer_size = std::max<size_t>(c.capacity, c.length);
    std::vector<uint8_t> block = ArrayBlock(c.length, fill_count, fill_size, buffer_size);
    const std::vector<uint8_t> before = block;
    EXPECT_EQ(ResizeQdxSubBlocks(block.data(), c.capacity, c.count, c.old_size, c.new_size), c.ok);
    if (!c.ok || c.count == 0 || c.old_size == c.new_size) {
      EXPECT_EQ(block, before);
      continue;
    }
    const size_t first = c.length - c.count * c.old_size;
    EXPECT_TRUE(std::equal(block.begin(), block.begin() + first, before.begin()));
    for (uint32_t k = 0; k < c.count; ++k) {
      for (uint32_t i = 0; i < c.new_size; ++i) {
        const uint8_t expected = i < c.old_size ? static_cast<uint8_t>(16 * k + i + 1) : 0;
        ASSERT_EQ(block[first + k * c.new_size + i], expected) << k << "," << i;
      }
    }
    const size_t end = first + c.count * c.new_size;
    EXPECT_TRUE(std::equal(block.begin() + std::max(end, c.length), block.end(),
                           before.begin() + std::max(end, c.length)));
    EXPECT_EQ(QdxBlockLength(block.data()), c.length);
  }
}

}  // namespace
}  // namespace kavrino
