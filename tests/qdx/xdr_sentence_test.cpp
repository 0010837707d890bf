// Weather values read from the XDR sentences of data/xdr_sentences.txt.
#include "qdx/decode/xdr_sentence.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>

namespace kavrino {
namespace {

float Expected(const std::string& word) {
  return word == "-" ? kMetAbsent : std::stof(word);
}

TEST(XdrSentence, ReadsGroupsByTypeAndUnit) {
  std::ifstream in(KAVRINO_SOURCE_DIR "/tests/qdx/data/xdr_sentences.txt");
  int rows = 0;
  for (std::string line; std::getline(in, line);) {
    if (line.empty() || line[0] == '#') continue;
    std::istringstream words(line.substr(0, line.find('|')));
    std::string text = line.substr(line.find('|') + 1), p, t, h;
    int found = 0;
    words >> found >> p >> t >> h;
    if (text.find("\\0") != std::string::npos) text.replace(text.find("\\0"), 2, 1, '\0');
    XdrValues v;
    v.pressure_bar = 7.0f;  // overwritten by the parser
    EXPECT_EQ(ParseXdrSentence(text.data(), text.size(), &v), found == 1) << text;
    EXPECT_EQ(v.pressure_bar, Expected(p)) << text;
    EXPECT_EQ(v.temperature_c, Expected(t)) << text;
    EXPECT_EQ(v.humidity_pct, Expected(h)) << text;
    ++rows;
  }
  EXPECT_EQ(rows, 19);
}

}  // namespace
}  // namespace kavrino
