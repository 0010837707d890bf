#include "qdx/block.h"

#include <gtest/gtest.h>

#include "support/qdx_writer.h"

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
