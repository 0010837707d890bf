// Text carried in blocks: weather values of XDR sentences and the site
// commands of comments, against the rows of data/text_fields.txt.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "qdx/block_numbers.h"
#include "qdx/decode/comment_block.h"
#include "qdx/decode/xdr_sentence.h"
#include "qdx/encode/qdx_writer.h"

namespace kavrino {
namespace {

std::string Read(const std::string& kind, const std::string& text) {
  char out[200];
  if (kind == "xdr") {
    XdrValues v;
    v.pressure_bar = 7.0f;  // overwritten by the parser
    const bool found = ParseXdrSentence(text.data(), text.size(), &v);
    std::snprintf(out, sizeof out, "%d %.9g %.9g %.9g", found, v.pressure_bar, v.temperature_c,
                  v.humidity_pct);
  } else {
    const AntennaCommand a = ParseAntennaCommand(text);
    double xyz[3] = {};
    const bool has_xyz = ParseXyzCommand(text, xyz);
    std::snprintf(out, sizeof out, "site=%s antenna=%d/%s/%d/%g/%g xyz=%d/%.10g/%.10g/%.10g",
                  std::string(SiteCommandName(text)).c_str(), a.has_type,
                  std::string(a.type).c_str(), a.has_offsets, a.l1_offset, a.l2_offset, has_xyz,
                  xyz[0], xyz[1], xyz[2]);
  }
  return out;
}

TEST(TextFields, XdrSentencesAndSiteCommands) {
  std::ifstream in(KAVRINO_SOURCE_DIR "/tests/qdx/data/text_fields.txt");
  int rows = 0;
  for (std::string line; std::getline(in, line);) {
    if (line.empty() || line[0] == '#') continue;
    const size_t bar = line.find('|'), second = line.find('|', bar + 1);
    std::string text = line.substr(second + 1);
    if (text.find("\\0") != std::string::npos) text.replace(text.find("\\0"), 2, 1, '\0');
    EXPECT_EQ(Read(line.substr(0, bar), text), line.substr(bar + 1, second - bar - 1)) << text;
    ++rows;
  }
  EXPECT_EQ(rows, 27);
}

TEST(CommentText, IsCutAtTheBlockEnd) {
  const auto block = [](const std::string& text, uint16_t declared_length) {
    return test::QdxBlockWriter(kCommentBlock, 0, 1000, 2000)
        .U16(14, declared_length)
        .Text(16, text, text.size())
        .Finish();
  };
  EXPECT_EQ(CommentText(block("BEGIN_POINT;A12;x", 500).data()), "BEGIN_POINT;A12;x");
  const std::vector<uint8_t> with_zero = block(std::string("XYZ;1;2\0;3", 10), 10);
  EXPECT_EQ(CommentText(with_zero.data()).size(), 10u);
  EXPECT_EQ(CommandText(with_zero.data()), "XYZ;1;2");
}

}  // namespace
}  // namespace kavrino
