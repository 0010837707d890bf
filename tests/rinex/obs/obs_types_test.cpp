#include "rinex/obs/obs_types.h"

#include <gtest/gtest.h>

#include <initializer_list>
#include <string>
#include <utility>
#include <vector>

#include "app/settings.h"

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
  int version;
  std::initializer_list<int> signals;
  bool doppler, snr;
  const char* text;
  int line_len;
  std::vector<Column> columns;
};

TEST(BuildObsTypeLayout, Rinex2TypeListsAndColumns) {
  const Rinex2Case cases[] = {
      {"L1 C/A and L2C",
       RINEX_211,
       {0, 3},
       false,
       false,
       "     4    C1    L1    L2    C2",
       64,
       {{'C', 0, 0}, {'L', 0, 16}, {'L', 3, 32}, {'C', 3, 48}, {'D', 0, -1}}},
      {"L1 C/A and L2C with D and S",
       RINEX_211,
       {0, 3},
       true,
       true,
       "     6    C1    L1    L2    C2    D1    S1",
       96,
       {{'D', 0, 64}, {'S', 0, 80}, {'D', 3, -1}, {'S', 3, -1}}},
      {"2.10 drops L2C",
       RINEX_210,
       {0, 3},
       false,
       false,
       "     2    C1    L1",
       32,
       {{'C', 3, -1}, {'L', 3, -1}}},
      {"L2 choice",
       RINEX_211,
       {2, 3, 10, 11},
       false,
       false,
       "     3    L2    P2    C2",
       48,
       {{'L', 2, 0},
        {'L', 11, 0},
        {'L', 3, -1},
        {'L', 10, -1},
        {'C', 2, 16},
        {'C', 10, 16},
        {'C', 3, 32},
        {'C', 11, 32}}},
      {"GLONASS L2P phase without L2 C/A",
       RINEX_211,
       {10},
       true,
       true,
       "     4    L2    P2    D2    S2",
       64,
       {{'L', 10, 0}, {'C', 10, 16}, {'D', 10, 32}, {'S', 10, 48}}},
      {"D2 prefers L2 C/A of GLONASS",
       RINEX_211,
       {10, 11},
       true,
       false,
       "     4    L2    P2    C2    D2",
       64,
       {{'D', 11, 48}, {'D', 10, -1}}},
      {"L1P only gets P1",
       RINEX_211,
       {0, 1, 9},
       true,
       false,
       "     4    C1    L1    P1    D1",
       64,
       {{'C', 1, 32}, {'C', 9, 32}, {'L', 1, -1}, {'D', 1, -1}, {'D', 0, 48}}},
      {"Galileo and SBAS bands",
       RINEX_211,
       {17, 19, 20, 21, 22, 25},
       false,
       true,
       "    15    C1    L1    C5    L5    C6    L6    C7    L7    C8    L8    S1    S5    S6"
       "    S7    S8",
       -1,
       {{'C', 25, 32}, {'L', 20, 48}, {'C', 19, 64}, {'C', 22, 128}, {'S', 22, 224}}},
      {"never typed signals", RINEX_211, {5, 23, 27}, true, true, "     0", 0, {}},
      {"empty mask", RINEX_210, {}, false, false, "     0", 0, {}},
  };
  for (const Rinex2Case& c : cases) {
    SCOPED_TRACE(c.name);
    ObsTypeLayout l;
    BuildObsTypeLayout(&l, Mask(c.signals), c.doppler, c.snr, false, c.version);
    EXPECT_EQ(std::string(l.type_text[0]), c.text);
    if (c.line_len >= 0) {
      EXPECT_EQ(l.line_len, c.line_len);
    }
    for (const Column& col : c.columns) {
      EXPECT_EQ(ColumnOf(l, col.kind, col.signal), col.column) << col.kind << col.signal;
    }
  }
}

TEST(BuildObsTypeLayout, Rinex2FullListFitsTheText) {
  ObsTypeLayout l;
  BuildObsTypeLayout(&l, ~0ULL, true, true, false, RINEX_211);
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
      {"L1P with strength",
       {1},
       true,
       true,
       false,
       {{0, "G    2 C1W S1W"}},
       35,
       {{'S', 1, 19}, {'D', 1, -1}}},
      {"channel type",
       {0},
       false,
       false,
       true,
       {{0, "G    3 X1  C1C L1C"}, {3, "R    1 X1 "}},
       51,
       {{'C', 0, 19}, {'L', 0, 35}}},
      {"Doppler order",
       {0, 2},
       true,
       false,
       false,
       {{0, "G    6 C1C L1C D1C C2W L2W D2W"}},
       99,
       {{'D', 0, 35}, {'C', 2, 51}, {'D', 2, 83}}},
      {"per system lists",
       {8, 17, 24, 28, 6, 15},
       false,
       true,
       false,
       {{0, "G    0"},
        {1, "E    3 C1C L1C S1C"},
        {2, "S    3 C1C L1C S1C"},
        {3, "R    3 C1C L1C S1C"},
        {4, "C    3 C2I L2I S2I"},
        {5, "J    3 C1C L1C S1C"},
        {6, "I    3 C5A L5A S5A"}},
       51,
       {{'C', 8, 3}, {'S', 28, 35}, {'L', 15, 19}}},
      {"never typed signals", {23, 27, 31}, true, true, false, {{5, "J    0"}}, 3, {}},
  };
  for (const Rinex3Case& c : cases) {
    SCOPED_TRACE(c.name);
    ObsTypeLayout l;
    BuildObsTypeLayout(&l, Mask(c.signals), c.doppler, c.snr, c.channel, RINEX_304);
    for (const auto& [system, text] : c.texts) EXPECT_EQ(std::string(l.type_text[system]), text);
    EXPECT_EQ(l.line_len, c.line_len);
    for (const Column& col : c.columns) {
      EXPECT_EQ(ColumnOf(l, col.kind, col.signal), col.column) << col.kind << col.signal;
    }
  }
}

TEST(BuildObsTypeLayout, Rinex3LongestSystemFitsTheText) {
  ObsTypeLayout l;
  BuildObsTypeLayout(&l, ~0ULL, true, true, true, RINEX_304);
  const std::string galileo = l.type_text[1];
  EXPECT_EQ(galileo.substr(0, 6), "E   29");
  EXPECT_EQ(galileo.size(), 6u + 29u * 4u);
  EXPECT_EQ(galileo.substr(galileo.size() - 8), " D8Q S8Q");
  EXPECT_EQ(l.line_len, 3 + 16 * 29);
  EXPECT_EQ(l.signal_mask, AllowedSignalMask(RINEX_304));
}

TEST(AllowedSignalMask, PerVersion) {
  EXPECT_EQ(AllowedSignalMask(RINEX_210), 0x1000707ULL);
  EXPECT_EQ(AllowedSignalMask(RINEX_211), 0x37A0F1FULL);
  EXPECT_EQ(AllowedSignalMask(RINEX_304), 0x3777FFFFFULL);
  EXPECT_EQ(AllowedSignalMask(7), 0x3777FFFFFULL);
  ObsTypeLayout l;
  BuildObsTypeLayout(&l, ~0ULL, false, false, false, RINEX_210);
  EXPECT_EQ(l.signal_mask, 0x1000707ULL);
  EXPECT_EQ(l.version, RINEX_210);
}

}  // namespace
}  // namespace kavrino
