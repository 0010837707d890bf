#include "qdx/decode/comment_block.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "qdx/block_numbers.h"
#include "qdx/encode/qdx_writer.h"

namespace kavrino {
namespace {

std::vector<uint8_t> CommentBlock(const std::string& text, uint16_t declared_length) {
  return test::QdxBlockWriter(kCommentBlock, 0, 1000, 2000)
      .U16(14, declared_length)
      .Text(16, text, text.size())
      .Finish();
}

TEST(CommentText, IsCutAtTheBlockEnd) {
  auto block = CommentBlock("BEGIN_POINT;A12;x", 500);
  EXPECT_EQ(CommentText(block.data()), "BEGIN_POINT;A12;x");
  auto with_zero = CommentBlock(std::string("XYZ;1;2\0;3", 10), 10);
  EXPECT_EQ(CommentText(with_zero.data()).size(), 10u);
  EXPECT_EQ(CommandText(with_zero.data()), "XYZ;1;2");
}

TEST(SiteCommands, Fields) {
  EXPECT_EQ(SiteCommandName("BEGIN_POINT;A12"), "");
  EXPECT_EQ(SiteCommandName("END_POINT;SITE-1;"), "SITE-1");
  EXPECT_EQ(SiteCommandName("BEGIN_POINT;;x"), "");

  const AntennaCommand typed = ParseAntennaCommand("ANTENNA;A-TYPE;x;0.25");
  EXPECT_TRUE(typed.has_type && typed.has_offsets);
  EXPECT_EQ(typed.type, "A-TYPE");
  EXPECT_EQ(typed.l1_offset, 0.0);  // not a number
  EXPECT_EQ(typed.l2_offset, 0.25);
  const AntennaCommand bare = ParseAntennaCommand("ANTENNA;B;");
  EXPECT_TRUE(bare.has_type);
  EXPECT_FALSE(bare.has_offsets);
  EXPECT_FALSE(ParseAntennaCommand("ANTENNA;C").has_type);

  double xyz[3] = {};
  ASSERT_TRUE(ParseXyzCommand("XYZ;4000000.5;-12.25;5000000", xyz));
  EXPECT_EQ(xyz[0], 4000000.5);
  EXPECT_EQ(xyz[1], -12.25);
  EXPECT_EQ(xyz[2], 5000000.0);
  EXPECT_FALSE(ParseXyzCommand("XYZ;1;2", xyz));
}

}  // namespace
}  // namespace kavrino
