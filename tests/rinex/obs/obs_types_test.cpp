#include "rinex/obs/obs_types.h"

#include <gtest/gtest.h>

#include <initializer_list>
#include <string>
#include <utility>
#include <vector>

#include "core/rinex_version.h"

namespace kavrino {
namespace {

uint64_t Mask(std::initializer_list<int> signals) {
  uint64_t m = 0;
  for (int s : signals) m |= 1ULL << s;
  return m;
}

struct Column {
  char kind;  // 'C', 'L', 'D', 'S'
  int signal;
  int column;
};

int ColumnOf(const ObsTypeLayout& l, char kind, int signal) {
  switch (kind) {
    case 'C':
      return l.code_col[signal];
    case 'L':
      return l.phase_col[signal];
    case 'D':
      return l.doppler_col[signal];
    default:
      return l.snr_col[signal];
  }
}

struct Rinex2Case {
  const char* name;
  RinexVersion version;
  std::initializer_list<int> signals;
  bool doppler, snr;
  const char* text;
  int line_len;
  std::vector<Column> columns;
};

// The type lists of every signal in 2.10, 2.11 and 3.04, with both L2 choices,
// are checked against the converter's output by the end-to-end truth test;
// these are the cases it does not reach.
TEST(BuildObsTypeLayout, Rinex2TypeListsAndColumns) {
  const Rinex2Case cases[] = {
      {"2.10 drops L2C",
       RinexVersion::k210,
       {0, 3},
       false,
       false,
       "     2    C1    L1",
       32,
       {{'C', 3, -1}, {'L', 3, -1}}},
      {"GLONASS L2P phase without L2 C/A",
       RinexVersion::k211,
       {10},
       true,
       true,
       "     4    L2    P2    D2    S2",
       64,
       {{'L', 10, 0}, {'C', 10, 16}, {'D', 10, 32}, {'S', 10, 48}}},
      {"never typed signals", RinexVersion::k211, {5, 23, 27}, true, true, "     0", 0, {}},
      {"empty mask", RinexVersion::k210, {}, false, false, "     0", 0, {}},
  };
  for (const Rinex2Case& c : cases) {
    SCOPED_TRACE(c.name);
    ObsTypeLayout l;
    BuildObsTypeLayout(&l, Mask(c.signals), c.doppler, c.snr, false, c.version);
    EXPECT_EQ(std::string(l.type_text[0]), c.text);
    EXPECT_EQ(l.line_len, c.line_len);
    for (const Column& col : c.columns) {
      EXPECT_EQ(ColumnOf(l, col.kind, col.signal), col.column) << col.kind << col.signal;
    }
  }
}

TEST(BuildObsTypeLayout, Rinex2FullListFitsTheText) {
  ObsTypeLayout l;
  BuildObsTypeLayout(&l, ~0ULL, true, true, false, RinexVersion::k211);
  EXPECT_EQ(std::string(l.type_text[0], 6), "    26");
  EXPECT_EQ(std::string(l.type_text[0]).size(), 6u + 26u * 6u);
  EXPECT_EQ(l.line_len, 16 * 26);
}

struct Rinex3Case {
  const char* name;
  std::initializer_list<int> signals;
  bool doppler, snr, channel;
  std::vector<std::pair<int, const char*>> texts;  // constellation, text
  int line_len;
  std::vector<Column> columns;
};

TEST(BuildObsTypeLayout, Rinex3TypeListsAndColumns) {
  const Rinex3Case cases[] = {
      {"L1P alone",
       {1},
       false,
       false,
       false,
       {{0, "G    1 C1W"}, {1, "E    0"}},
       19,
       {{'C', 1, 3}, {'L', 1, -1}}},
      {"channel type",
       {0},
       false,
       false,
       true,
       {{0, "G    3 X1  C1C L1C"}, {3, "R    1 X1 "}},
       51,
       {{'C', 0, 19}, {'L', 0, 35}}},
      {"never typed signals", {23, 27, 31}, true, true, false, {{5, "J    0"}}, 3, {}},
  };
  for (const Rinex3Case& c : cases) {
    SCOPED_TRACE(c.name);
    ObsTypeLayout l;
    BuildObsTypeLayout(&l, Mask(c.signals), c.doppler, c.snr, c.channel, RinexVersion::k304);
    for (const auto& [system, text] : c.texts) EXPECT_EQ(std::string(l.type_text[system]), text);
    EXPECT_EQ(l.line_len, c.line_len);
    for (const Column& col : c.columns) {
      EXPECT_EQ(ColumnOf(l, col.kind, col.signal), col.column) << col.kind << col.signal;
    }
  }
}

TEST(BuildObsTypeLayout, Rinex3LongestSystemFitsTheText) {
  ObsTypeLayout l;
  BuildObsTypeLayout(&l, ~0ULL, true, true, true, RinexVersion::k304);
  const std::string galileo = l.type_text[1];
  EXPECT_EQ(galileo.substr(0, 6), "E   29");
  EXPECT_EQ(galileo.size(), 6u + 29u * 4u);
  EXPECT_EQ(galileo.substr(galileo.size() - 8), " D8Q S8Q");
  EXPECT_EQ(l.line_len, 3 + 16 * 29);
  EXPECT_EQ(l.signal_mask, AllowedSignalMask(RinexVersion::k304));
}

TEST(AllowedSignalMask, PerVersion) {
  EXPECT_EQ(AllowedSignalMask(RinexVersion::k210), 0x1000707ULL);
  EXPECT_EQ(AllowedSignalMask(RinexVersion::k211), 0x37A0F1FULL);
  EXPECT_EQ(AllowedSignalMask(RinexVersion::k304), 0x3777FFFFFULL);
  ObsTypeLayout l;
  BuildObsTypeLayout(&l, ~0ULL, false, false, false, RinexVersion::k210);
  EXPECT_EQ(l.signal_mask, 0x1000707ULL);
  EXPECT_EQ(l.version, RinexVersion::k210);
}

}  // namespace
}  // namespace kavrino
