#include "qdx/block.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <vector>

#include "qdx/qdx_files.h"

namespace kavrino {
namespace {

TEST(QdxCrc16, EqualsBitwiseCrcForRandomDataLengthsAndAlignments) {
  EXPECT_EQ(QdxCrc16(reinterpret_cast<const uint8_t*>("123456789"), 9), 0x31C3);  // check value
  EXPECT_EQ(QdxCrc16(nullptr, 0), 0);
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

TEST(ResizeQdxSubBlocks, MovesElementsOrRefuses) {
  const struct {
    size_t length, capacity;
    uint32_t count, old_size, new_size;
    bool ok;
  } cases[] = {
      {20 + 3 * 24, 200, 3, 24, 20, true},               // shrink
      {20 + 4 * 12, 200, 4, 12, 16, true},               // grow
      {40, 200, 0, 12, 16, true},                        // no elements
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

}  // namespace
}  // namespace kavrino
